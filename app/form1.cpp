#include "form1.h"

#include "commondialog.h"
#include "layout.h"
#include "listbox.h"
#include "richtextbox.h"
#include "webbrowser.h"

#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QWebEngineView>

namespace {

void paintBackground(QWidget &widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget.palette();
    palette.setColor(role, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

QObject *createControl(const Layout::Control &spec, QWidget &form)
{
    using Layout::Kind;
    QWidget *widget = nullptr;
    switch (spec.kind) {
    case Kind::ListBox:
        widget = new ListBox(&form);
        break;
    case Kind::PushButton: {
        auto *button = new QPushButton(QString::fromLatin1(spec.text), &form);
        paintBackground(*button, QPalette::Button, spec.background);
        widget = button;
        break;
    }
    case Kind::WebBrowser:
        widget = new WebBrowser(&form);
        break;
    case Kind::RichTextBox:
        widget = new RichTextBox(&form);
        break;
    case Kind::Label: {
        auto *label = new QLabel(QString::fromLatin1(spec.text), &form);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        paintBackground(*label, QPalette::Window, spec.background);
        widget = label;
        break;
    }
    case Kind::CommonDialog: {
        // Invisible at run time: no widget of its own on the window.
        auto *dialog = new CommonDialog(&form);
        dialog->setObjectName(QLatin1String(spec.name));
        dialog->setFilter(QLatin1String(Layout::SaveFilter));
        dialog->setDefaultExt(QLatin1String(Layout::SaveDefaultExtension));
        return dialog;
    }
    }
    widget->setObjectName(QLatin1String(spec.name));
    widget->setGeometry(Layout::geometry(spec));
    if (spec.captionFont) {
        QFont font(QLatin1String(Layout::CaptionFontFamily));
        font.setPointSizeF(Layout::CaptionFontPoints);
        font.setWeight(QFont::Normal);
        widget->setFont(font);
    }
    return widget;
}

} // namespace

Form1::Form1(QWidget *parent) : QWidget(parent)
{
    QStringList substitutes;
    for (const char *family : Layout::FontSubstitutes)
        substitutes << QLatin1String(family);
    QFont::insertSubstitutions(QLatin1String(Layout::CaptionFontFamily), substitutes);
    setFont(Layout::windowFont());

    setWindowTitle(QStringLiteral("Folvane"));
    paintBackground(*this, QPalette::Window, Layout::FormBackground);
    resize(Layout::pixels(Layout::ClientWidth), Layout::pixels(Layout::ClientHeight));
    createControls();
    nameControls();
    routeEvents();
}

void Form1::createControls()
{
    QWidget *previous = nullptr;
    for (const Layout::Control &spec : Layout::Controls) {
        auto *widget = qobject_cast<QWidget *>(createControl(spec, *this));
        if (!widget || widget->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

void Form1::nameControls()
{
    for (const Layout::LabelFor &pair : Layout::Labels) {
        auto *widget = findChild<QWidget *>(QLatin1String(pair.control));
        const auto *label = findChild<QLabel *>(QLatin1String(pair.label));
        QString name = label->text();
        while (!name.isEmpty() && (name.back() == u':' || name.back() == u'='))
            name.chop(1);
        widget->setAccessibleName(name);
        // The browser's document sits in the engine's view, which takes the focus in its place.
        if (auto *browser = qobject_cast<WebBrowser *>(widget))
            browser->view()->setAccessibleName(name);
    }
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shownBefore) {
        m_shownBefore = true;
        findChild<QWidget *>(QLatin1String(Layout::Controls.front().name))->setFocus();
    }
}

void Form1::closeEvent(QCloseEvent *event)
{
    // No prompt: closing discards the list and an unsaved result, and ends any wait.
    m_loadPending.windowClosed();
    event->accept();
}
