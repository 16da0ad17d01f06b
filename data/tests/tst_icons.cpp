// The icon theme's PNG sizes, rendered at build time from the scalable icon.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTest>

class tst_Icons : public QObject {
    Q_OBJECT

private slots:
    void rendered_data();
    void rendered();
};

void tst_Icons::rendered_data()
{
    QTest::addColumn<int>("size");
    for (const QString &size : QStringLiteral(FOLVANE_ICON_SIZES).split(u','))
        QTest::newRow(qPrintable(size)) << size.toInt();
}

void tst_Icons::rendered()
{
    QFETCH(int, size);
    const QString path =
        QStringLiteral(FOLVANE_ICON_DIR "/%1x%1/apps/org.folvane.Folvane.png").arg(size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());
    // The rounded square leaves the corners clear and fills the middle.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);

    // The same picture as the scalable icon drawn at that size by Qt's own renderer.
    QImage expected(size, size, QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::transparent);
    {
        QSvgRenderer renderer(QStringLiteral(FOLVANE_ICON_SVG));
        QVERIFY(renderer.isValid());
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    QCOMPARE(image.convertToFormat(QImage::Format_ARGB32_Premultiplied), expected);
}

QTEST_MAIN(tst_Icons)
#include "tst_icons.moc"
