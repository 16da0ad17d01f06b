#include "richtextbox.h"

#include "rtfreader.h"
#include "rtfwriter.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

namespace {

const QString RtfMimeTypes[] = {QStringLiteral("text/rtf"), QStringLiteral("application/rtf")};

// What a copy from the pane offers: Qt's own renderings of the selection, made when asked for, and
// the selection's RTF, written at once because it needs the live document's images.
class RichTextMimeData final : public QMimeData {
public:
    RichTextMimeData(QMimeData *selection, QByteArray rtf)
        : m_selection(selection), m_rtf(std::move(rtf))
    {}

    QStringList formats() const override
    {
        QStringList result = m_selection->formats();
        for (const QString &type : RtfMimeTypes)
            result << type;
        return result;
    }
    bool hasFormat(const QString &type) const override { return formats().contains(type); }

protected:
    QVariant retrieveData(const QString &type, QMetaType) const override
    {
        for (const QString &rtfType : RtfMimeTypes) {
            if (type == rtfType)
                return m_rtf;
        }
        return m_selection->data(type);
    }

private:
    std::unique_ptr<QMimeData> m_selection;
    QByteArray m_rtf;
};

} // namespace

RichTextBox::RichTextBox(QWidget *parent) : QTextEdit(parent)
{
    setAcceptRichText(true);
    setReadOnly(false);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

QString RichTextBox::Text() const
{
    return toPlainText();
}

void RichTextBox::setTextProperty(const QString &text)
{
    // clear() also drops the images of the previous content and the undo history.
    clear();
    if (!text.isEmpty())
        insertPlainText(text);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    setTextCursor(cursor);
}

QString RichTextBox::SelRTF() const
{
    const QTextCursor cursor = textCursor();
    // A copy: it keeps every place and link address, for the document it is read into.
    RtfWriteOptions copy;
    copy.forCopy = true;
    return QString::fromLatin1(
        RtfWriter::write(*document(), cursor.selectionStart(), cursor.selectionEnd(), copy));
}

void RichTextBox::setSelRTF(const QString &rtf)
{
    // Text the program puts here is not the user's edit, and it is kept out of the undo history,
    // which would otherwise hold a record of every fragment of every page a run inserts. The
    // history before it goes too, as it no longer matches the document; the user's own edits
    // after it are undone as usual.
    QTextDocument *doc = document();
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor = textCursor();
    // A layout still under way (after a resize, say) is done before the insertion asks for it.
    finishLayout();
    // One edit block: the layout runs once for the whole insertion.
    cursor.beginEditBlock();
    RtfReader::insert(cursor, QStringView(rtf));
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(undo);
    // Showing the insertion point asks for the layout up to it, the whole insertion.
    finishLayout();
    setTextCursor(cursor);
}

void RichTextBox::finishLayout()
{
    // Qt lays a long document out lazily, in steps that double in size. Asking where a block is,
    // as an insertion or the insertion point's display does, lays out the rest in the smallest
    // step instead, each step looking at every table of the document once more: a page of 40 MB
    // with 40,000 tables took minutes. Asking what stands at a point far below lays it out in the
    // doubling steps, so that afterwards nothing is left to lay out. The point is the deepest that
    // Qt's fixed-point layout reaches.
    constexpr qreal DeepestLayoutPoint = 33'000'000;
    document()->documentLayout()->hitTest(QPointF(0, DeepestLayoutPoint), Qt::FuzzyHit);
}

void RichTextBox::SaveFile(const QString &fileName)
{
    const auto failWith = [this, &fileName](int number, const QString &what) {
        fail(number, QStringLiteral("%1: %2").arg(what, QDir::toNativeSeparators(fileName)));
    };
    if (fileName.isEmpty()) {
        failWith(ErrorNumber::PathFileAccessError, QStringLiteral("Path/File access error"));
        return;
    }
    const QFileInfo target(fileName);
    const QFileInfo folder(target.absolutePath());
    if (!folder.exists() || !folder.isDir()) {
        failWith(ErrorNumber::PathNotFound, QStringLiteral("Path not found"));
        return;
    }
    if (target.isDir()) {
        failWith(ErrorNumber::PathFileAccessError, QStringLiteral("Path/File access error"));
        return;
    }
    if (target.exists() && !target.isWritable()) {
        failWith(ErrorNumber::PermissionDenied, QStringLiteral("Permission denied"));
        return;
    }

    // QSaveFile writes a temporary file beside the target and renames it over the target only in
    // commit(), so a failure at any point leaves the old file as it was.
    QSaveFile file(fileName);
    const QByteArray rtf = RtfWriter::write(*document());
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(rtf) == rtf.size() && file.commit();
    if (written)
        return;
    if (file.error() == QFileDevice::PermissionsError)
        failWith(ErrorNumber::PermissionDenied, QStringLiteral("Permission denied"));
    else
        failWith(ErrorNumber::PathFileAccessError,
                 QStringLiteral("Path/File access error (%1)").arg(file.errorString()));
    file.cancelWriting();
}

bool RichTextBox::canInsertFromMimeData(const QMimeData *source) const
{
    for (const QString &type : RtfMimeTypes) {
        if (source->hasFormat(type))
            return true;
    }
    return QTextEdit::canInsertFromMimeData(source);
}

void RichTextBox::insertFromMimeData(const QMimeData *source)
{
    // Pasted rich text goes through the same reader as the run's insertions, so a paste looks
    // like what a save will write.
    for (const QString &type : RtfMimeTypes) {
        if (source->hasFormat(type)) {
            QTextCursor cursor = textCursor();
            finishLayout();
            cursor.beginEditBlock();
            RtfReader::insert(cursor, QByteArrayView(source->data(type)));
            cursor.endEditBlock();
            finishLayout();
            setTextCursor(cursor);
            return;
        }
    }
    QTextEdit::insertFromMimeData(source);
}

QMimeData *RichTextBox::createMimeDataFromSelection() const
{
    QMimeData *selection = QTextEdit::createMimeDataFromSelection();
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return selection;
    RtfWriteOptions copy;
    copy.forCopy = true;
    return new RichTextMimeData(selection, RtfWriter::write(*document(), cursor.selectionStart(),
                                                            cursor.selectionEnd(), copy));
}
