// The progress gauge: its range and percentage rules, when it repaints, and its pixels.
#include "ui/ProgressGauge.h"

#include <QImage>
#include <QSet>
#include <QtTest>

#include <climits>

namespace {

const QRgb White = qRgb(0xFF, 0xFF, 0xFF);
const QRgb Black = qRgb(0x00, 0x00, 0x00);
const QRgb Magenta = qRgb(0xFF, 0x00, 0xFF);
const QRgb Cyan = qRgb(0x00, 0xFF, 0xFF);

// Counts the paint events that reach a widget.
class PaintCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

QImage grabbed(ProgressGauge& gauge) {
    return gauge.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class GaugeTest : public QObject {
    Q_OBJECT

private slots:
    void startsEmpty() {
        ProgressGauge gauge;
        QCOMPARE(gauge.minimum(), 0);
        QCOMPARE(gauge.maximum(), 100);
        QCOMPARE(gauge.progress(), 0);
        QCOMPARE(gauge.percentDone(), 0);
        QCOMPARE(gauge.barColor(), GaugeColor::Lime);
    }

    void percentage_data() {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("progress");
        QTest::addColumn<int>("expectedProgress");
        QTest::addColumn<int>("expectedPercent");

        QTest::newRow("empty") << 0 << 100 << 0 << 0 << 0;
        QTest::newRow("half") << 0 << 100 << 50 << 50 << 50;
        QTest::newRow("full") << 0 << 100 << 100 << 100 << 100;
        QTest::newRow("truncated third") << 0 << 3 << 1 << 1 << 33;
        QTest::newRow("truncated two thirds") << 0 << 3 << 2 << 2 << 66;
        QTest::newRow("100 of 250 lines") << 0 << 250 << 100 << 100 << 40;
        QTest::newRow("100 of 80 lines is clamped") << 0 << 80 << 100 << 80 << 100;
        QTest::newRow("below the minimum is clamped") << 0 << 100 << -5 << 0 << 0;
        QTest::newRow("maximum equals minimum") << 0 << 0 << 5 << 0 << 0;
        QTest::newRow("erase range 7908") << 0 << 7908 << 0x1F00 << 7908 << 100;
        QTest::newRow("no overflow near the top")
            << 0 << INT_MAX << INT_MAX - 1 << INT_MAX - 1 << 99;
        QTest::newRow("no overflow over the whole range") << INT_MIN << INT_MAX << 0 << 0 << 50;
        QTest::newRow("shifted minimum") << 10 << 20 << 15 << 15 << 50;
    }

    void percentage() {
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, progress);
        ProgressGauge gauge;
        gauge.setMaximum(maximum);
        gauge.setMinimum(minimum);
        gauge.setProgress(progress);
        QCOMPARE(gauge.minimum(), minimum);
        QCOMPARE(gauge.maximum(), maximum);
        QTEST(gauge.progress(), "expectedProgress");
        QTEST(gauge.percentDone(), "expectedPercent");
    }

    void lowerMaximumLowersProgress() {
        ProgressGauge gauge;
        gauge.setProgress(80);
        gauge.setMaximum(50);
        QCOMPARE(gauge.progress(), 50);
        QCOMPARE(gauge.percentDone(), 100);
        gauge.setMaximum(200); // raising it again leaves the progress where it is
        QCOMPARE(gauge.progress(), 50);
        QCOMPARE(gauge.percentDone(), 25);
    }

    void higherMinimumRaisesProgress() {
        ProgressGauge gauge;
        gauge.setProgress(10);
        gauge.setMinimum(20);
        QCOMPARE(gauge.progress(), 20);
        QCOMPARE(gauge.percentDone(), 0);
    }

    void crossingBoundsKeepTheRangeOrdered() {
        ProgressGauge gauge;
        gauge.setMaximum(-10);
        QCOMPARE(gauge.minimum(), -10);
        QCOMPARE(gauge.progress(), -10);
        QCOMPARE(gauge.percentDone(), 0);
        gauge.setMinimum(30);
        QCOMPARE(gauge.maximum(), 30);
        QCOMPARE(gauge.progress(), 30);
    }

    // A repaint follows only a change of the whole-number percentage, the maximum or the colour.
    void repaintsOnlyOnVisibleChanges() {
        ProgressGauge gauge;
        gauge.resize(257, 17);
        gauge.setMaximum(1000);
        PaintCounter counter;
        gauge.installEventFilter(&counter);
        gauge.show();
        QVERIFY(QTest::qWaitForWindowExposed(&gauge));
        QTRY_VERIFY_WITH_TIMEOUT(counter.count > 0, 5000); // the first paint after showing
        QCoreApplication::processEvents();
        counter.count = 0;

        gauge.setProgress(9); // 0.9 %: still 0 %
        gauge.setBarColor(GaugeColor::Lime);
        gauge.setMaximum(1000);
        QCoreApplication::processEvents();
        QCOMPARE(counter.count, 0);

        gauge.setProgress(10); // 1 %
        QTRY_COMPARE_WITH_TIMEOUT(counter.count, 1, 5000);
        counter.count = 0;
        gauge.setBarColor(QColor(0x00, 0x00, 0xFF));
        QTRY_COMPARE_WITH_TIMEOUT(counter.count, 1, 5000);
        counter.count = 0;
        gauge.setMaximum(1001); // still 0 % (10 of 1001), but a new maximum
        QTRY_COMPARE_WITH_TIMEOUT(counter.count, 1, 5000);
    }

    void pixels_data() {
        QTest::addColumn<int>("progress");
        QTest::addColumn<QRgb>("bar");
        QTest::addColumn<int>("barWidth");
        QTest::addColumn<QList<QRgb>>("textColors");
        QTest::addColumn<bool>("framed"); // a frame in the bar colour, and the text in it

        // 257 pixels wide: the bar is 257 x percentage / 100, truncated.
        QTest::newRow("0 %, no bar, black text")
            << 0 << GaugeColor::Lime.rgb() << 0 << QList<QRgb>{Black} << false;
        QTest::newRow("30 %, text over white")
            << 30 << GaugeColor::Lime.rgb() << 77 << QList<QRgb>{Black} << false;
        QTest::newRow("50 %, text over both")
            << 50 << GaugeColor::Lime.rgb() << 128 << QList<QRgb>{Black, Magenta} << false;
        QTest::newRow("70 %, text over lime")
            << 70 << GaugeColor::Lime.rgb() << 179 << QList<QRgb>{Magenta} << false;
        QTest::newRow("100 %, text over lime")
            << 100 << GaugeColor::Lime.rgb() << 257 << QList<QRgb>{Magenta} << false;
        QTest::newRow("70 %, text over red")
            << 70 << GaugeColor::Red.rgb() << 179 << QList<QRgb>{Cyan} << false;
        QTest::newRow("0 %, red: a red frame and red text")
            << 0 << GaugeColor::Red.rgb() << 0 << QList<QRgb>{GaugeColor::Red.rgb()} << true;
        QTest::newRow("0 %, blue: no frame")
            << 0 << GaugeColor::Blue.rgb() << 0 << QList<QRgb>{Black} << false;
    }

    void pixels() {
        QFETCH(int, progress);
        QFETCH(QRgb, bar);
        QFETCH(int, barWidth);
        QFETCH(QList<QRgb>, textColors);
        QFETCH(bool, framed);

        ProgressGauge gauge;
        QFont font = gauge.font();
        font.setPointSize(8);
        font.setBold(true);
        gauge.setFont(font);
        gauge.resize(257, 17);
        gauge.setBarColor(QColor(bar));
        gauge.setProgress(progress);
        const QImage image = grabbed(gauge);
        QCOMPARE(image.size(), QSize(257, 17));

        // The top row lies above the text: the bar, then the white background (or the frame).
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixel(x, 0), x < barWidth || framed ? bar : White);

        // The text: every pixel either the frame, the bar or the background, or the text's own
        // colour: the inverse of what lies beneath it, or in a frame the frame's colour.
        const int frame = framed ? ProgressGauge::FailureFrameWidth : 0;
        const QRect inside = image.rect().adjusted(frame, frame, -frame, -frame);
        QSet<QRgb> text;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const bool onFrame = !inside.contains(x, y);
                const QRgb beneath = x < barWidth || onFrame ? bar : White;
                const QRgb pixel = image.pixel(x, y);
                if (pixel != beneath) {
                    QVERIFY(!onFrame);
                    QCOMPARE(pixel, framed ? bar : beneath ^ 0x00FFFFFF);
                    text.insert(pixel);
                }
            }
        }
        QCOMPARE(text, QSet<QRgb>(textColors.begin(), textColors.end()));
    }

    // The text is centred: as much of it left of the middle as right of it, give or take a pixel.
    void textIsCentred() {
        ProgressGauge gauge;
        gauge.resize(257, 17);
        gauge.setProgress(0);
        const QImage image = grabbed(gauge);
        int left = image.width(), right = -1, top = image.height(), bottom = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) == Black) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        QVERIFY(right >= left);
        QVERIFY(qAbs((left + right) - (image.width() - 1)) <= 4);
        QVERIFY(qAbs((top + bottom) - (image.height() - 1)) <= 4);
    }
};

QTEST_MAIN(GaugeTest)
#include "test_gauge.moc"
