#pragma once

#include <QListWidget>

#include <string>
#include <vector>

// A list box whose rows are stored lines. Each row keeps its line's bytes,
// so that a line read from a file is written back byte for byte whatever
// its encoding. rowClicked() tells the user's own moves in the list (a
// click, the arrow keys) from selections made by the code.
class TLineList : public QListWidget {
    Q_OBJECT

public:
    explicit TLineList(QWidget* parent = nullptr);

    [[nodiscard]] std::vector<std::string> Lines() const;
    [[nodiscard]] std::string LineAt(int index) const;
    // Rows for the lines, after the rows there are; nothing is selected.
    void AddLines(const std::vector<std::string>& lines);
    // Appends a row and selects it.
    void AppendLine(const std::string& line);
    void SetLineAt(int index, const std::string& line);

    // The selected row's index, or -1.
    [[nodiscard]] int SelectedIndex() const;
    // Selects a row, or none for -1, without a rowClicked().
    void SelectIndex(int index);
    // The first row equal to `line` when the case of the letters a to z is
    // ignored, or -1.
    [[nodiscard]] int IndexOfLine(const std::string& line) const;
    // Appends `line` and selects it unless IndexOfLine finds it.
    void AddUnique(const std::string& line);
    // Unless IndexOfLine finds `line`: the selected row takes it, or an
    // empty list gets it as its row; with no row selected nothing changes.
    void ReplaceSelected(const std::string& line);
    // Deletes the selected row, if any, and selects the row that took its
    // place, else the new last row; an empty list keeps no selection.
    void DeleteSelected();

signals:
    void rowClicked();

private:
    bool selectingFromCode_ = false;
};
