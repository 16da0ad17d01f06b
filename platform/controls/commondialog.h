#pragma once

#include "failure.h"

#include <QObject>
#include <QString>

// The common dialog control: invisible on its window, it shows Qt's own file dialog (the same on
// every desktop) when asked. Members are published by dispatch identifier.
class CommonDialog final : public QObject, public ControlFailures {
    Q_OBJECT
    Q_CLASSINFO("DispId(1)", "FileName")
    Q_CLASSINFO("DispId(31)", "ShowSave")
    Q_PROPERTY(QString FileName READ FileName WRITE setFileName DESIGNABLE false)
    Q_PROPERTY(QString Filter READ Filter WRITE setFilter DESIGNABLE false)
    Q_PROPERTY(QString DefaultExt READ DefaultExt WRITE setDefaultExt DESIGNABLE false)

public:
    // The object name of the dialog window while it is shown.
    static constexpr const char *DialogObjectName = "CommonDialog1Dialog";

    explicit CommonDialog(QObject *parent = nullptr);

    // The full path chosen in the last dialog. A cancelled dialog sets it to the empty string, so
    // a caller can tell a cancel from a choice.
    QString FileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }

    // Pairs of description and pattern separated by '|', e.g. "(*.rtf)|*.rtf".
    QString Filter() const { return m_filter; }
    void setFilter(const QString &filter) { m_filter = filter; }

    // Added to a name typed without an extension.
    QString DefaultExt() const { return m_defaultExt; }
    void setDefaultExt(const QString &extension) { m_defaultExt = extension; }

    // Shows the save dialog, modal to the window the control belongs to, and returns when the
    // user closes it. Asks before overwriting an existing file.
    Q_INVOKABLE void ShowSave();

    // The Filter as QFileDialog name filters ("description (patterns)").
    static QStringList nameFilters(const QString &filter);

private:
    QString m_fileName;
    QString m_filter = QStringLiteral("(*.rtf)|*.rtf");
    QString m_defaultExt = QStringLiteral("rtf");
};
