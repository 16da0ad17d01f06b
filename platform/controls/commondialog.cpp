#include "commondialog.h"

#include <QFileDialog>
#include <QPointer>
#include <QWidget>

CommonDialog::CommonDialog(QObject *parent) : QObject(parent) {}

QStringList CommonDialog::nameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        result << QStringLiteral("%1 (%2)").arg(parts[i], patterns.simplified());
    }
    return result;
}

void CommonDialog::ShowSave()
{
    QWidget *owner = nullptr;
    if (auto *widget = qobject_cast<QWidget *>(parent()))
        owner = widget->window();

    // On the heap and watched: the window (and this control with it) may be closed while the
    // dialog's event loop runs.
    QPointer<CommonDialog> self(this);
    QPointer<QFileDialog> dialog = new QFileDialog(owner);
    dialog->setObjectName(QLatin1String(DialogObjectName));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // The description already shows the pattern.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    const QStringList filters = nameFilters(m_filter);
    if (!filters.isEmpty())
        dialog->setNameFilters(filters);
    dialog->setDefaultSuffix(m_defaultExt);
    if (!m_fileName.isEmpty())
        dialog->selectFile(m_fileName);

    const bool accepted = dialog->exec() == QDialog::Accepted;
    QString chosen;
    if (accepted && dialog && !dialog->selectedFiles().isEmpty())
        chosen = dialog->selectedFiles().constFirst();
    delete dialog.data();
    if (self)
        m_fileName = chosen;
}
