#pragma once

#include "failure.h"

#include <QTextEdit>

// The rich-text control: an editable rich-text pane whose document is read and written as RTF.
// Its members are published by dispatch identifier for late-bound callers.
class RichTextBox final : public QTextEdit, public ControlFailures {
    Q_OBJECT
    Q_CLASSINFO("DispId(-517)", "Text")
    Q_CLASSINFO("DispId(11)", "SelRTF")
    Q_CLASSINFO("DispId(38)", "SaveFile")
    Q_PROPERTY(QString Text READ Text WRITE setTextProperty DESIGNABLE false)
    Q_PROPERTY(QString SelRTF READ SelRTF WRITE setSelRTF DESIGNABLE false)

public:
    explicit RichTextBox(QWidget *parent = nullptr);

    // The document as plain text. Setting it replaces the whole document with that text and puts
    // the insertion point at its start.
    QString Text() const;
    void setTextProperty(const QString &text);

    // The selection as RTF. Setting it replaces the selection with the content of the RTF and
    // leaves the insertion point just after it; that edit cannot be undone, and the undo history
    // starts again after it.
    QString SelRTF() const;
    void setSelRTF(const QString &rtf);

    // Writes the whole document to fileName as RTF. The file is replaced only once it has been
    // written completely; on failure the old file stays as it was.
    Q_INVOKABLE void SaveFile(const QString &fileName);

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    // Lays out what of the document is still to be laid out, in as few steps as Qt allows.
    void finishLayout();
};
