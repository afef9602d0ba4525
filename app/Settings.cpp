#include "app/Settings.h"

#include "ui/IniFile.h"

TSettings readSettings(const ui::IniFile& ini) {
    const TSettings d;
    TSettings s;
    s.Top = ini.readInteger("POSITION", "TOP", d.Top);
    s.Left = ini.readInteger("POSITION", "LEFT", d.Left);
    s.Height = ini.readInteger("SIZE", "HEIGHT", d.Height);
    s.Width = ini.readInteger("SIZE", "WIDTH", d.Width);
    s.SplitVertical = ini.readInteger("SPLIT", "VERTICAL", d.SplitVertical);
    s.SplitHorizontal = ini.readInteger("SPLIT", "HORIZONTAL", d.SplitHorizontal);
    s.SubjectEmpty = ini.readBool("FILTER", "SUBJECT_EMPTY", d.SubjectEmpty);
    s.Recipients = ini.readInteger("FILTER", "RECIPIENTS", d.Recipients);
    s.MailMaxLen = ini.readInteger("FILTER", "MAIL_MAXLEN", d.MailMaxLen);
    s.FastCheck = ini.readBool("CHECK", "PIPELINING", d.FastCheck);
    s.AllCharsets = ini.readBool("DISPLAY", "ALL_CHARSETS", d.AllCharsets);
    return s;
}

void writeSettings(ui::IniFile& ini, const TSettings& s) {
    ini.writeInteger("POSITION", "TOP", s.Top);
    ini.writeInteger("POSITION", "LEFT", s.Left);
    ini.writeInteger("SIZE", "HEIGHT", s.Height);
    ini.writeInteger("SIZE", "WIDTH", s.Width);
    ini.writeInteger("SPLIT", "VERTICAL", s.SplitVertical);
    ini.writeInteger("SPLIT", "HORIZONTAL", s.SplitHorizontal);
    ini.writeBool("FILTER", "SUBJECT_EMPTY", s.SubjectEmpty);
    ini.writeInteger("FILTER", "RECIPIENTS", s.Recipients);
    ini.writeInteger("FILTER", "MAIL_MAXLEN", s.MailMaxLen);
    ini.writeBool("CHECK", "PIPELINING", s.FastCheck);
    ini.writeBool("DISPLAY", "ALL_CHARSETS", s.AllCharsets);
}
