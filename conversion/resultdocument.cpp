#include "resultdocument.h"

#include "controls.h"
#include "dispatch.h"

namespace ResultDocument {

void clear(QWidget &form)
{
    Dispatch::put(control(form, "RichTextBox1"), TextId, QString());
}

void insert(QWidget &form, const QString &rtf)
{
    Dispatch::put(control(form, "RichTextBox1"), SelRTFId, rtf);
}

void save(QWidget &form)
{
    Dispatch::call(control(form, "CommonDialog1"), ShowSaveId);
    const QString fileName = Dispatch::get(control(form, "CommonDialog1"), FileNameId).toString();
    // The dialog gives an empty name when it was cancelled: then there is nothing to do. A save
    // that fails raises its failure out of this handler, and the document stays as it was.
    if (fileName.isEmpty())
        return;
    Dispatch::call(control(form, "RichTextBox1"), SaveFileId, {fileName});
}

} // namespace ResultDocument
