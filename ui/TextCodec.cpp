#include "ui/TextCodec.h"

#include "message/IdCharsets.h"

namespace ui {

bool isValidUtf8(std::string_view bytes) { return IsValidUtf8(bytes); }

QString fromWindows1250(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char ch : bytes) {
        text.append(QChar(Windows1250CodePoint(static_cast<unsigned char>(ch))));
    }
    return text;
}

QString toQString(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    return fromWindows1250(bytes);
}

std::string fromQString(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

QString captionText(std::string_view bytes) {
    QString text = toQString(bytes);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text;
}

}  // namespace ui
