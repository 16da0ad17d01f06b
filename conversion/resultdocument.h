#pragma once

#include <QString>

class QWidget;

// The result document in RichTextBox1 and its saving through CommonDialog1, both reached by
// dispatch identifier.
namespace ResultDocument {
// Members of the rich-text control.
inline constexpr int TextId = -517;
inline constexpr int SelRTFId = 11;
inline constexpr int SaveFileId = 38;
// Members of the dialog control.
inline constexpr int ShowSaveId = 31;
inline constexpr int FileNameId = 1;

// Empties the document; the insertion point goes to its start.
void clear(QWidget &form);
// Parses rtf and puts its content in place of the selection; the insertion point ends after it.
void insert(QWidget &form, const QString &rtf);
// The click of command2: asks for a file name and writes the document there as RTF.
void save(QWidget &form);
} // namespace ResultDocument
