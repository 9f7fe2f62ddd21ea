// The yardstick for Lectern's whole-process figures: the least a Qt Widgets program does to show two counting
// rows. It has what the timer window has at creation (its inner size, two labels in the rows' face and type size
// placed by geometry, colours through the palette, a 100 ms timer, a text set only when the shown second changes,
// the texts set before the window is shown) and nothing else, so any gap between the two is the cost of Lectern's
// own work. No layout: the timer window places its rows itself.
//
// Usage: bare_qt [FAMILY]   the rows' face; bench/process_figures.sh passes the one Lectern picked
#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QString>
#include <QTimer>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

// The timer window's inner size at creation and its rows' type size there, in points.
constexpr double windowWidth = 528.75;
constexpr double windowHeight = 84.75;
constexpr double typeSize = 41.3;

QString render(const QString& heading, qint64 seconds)
{
    return u"%1 %2分%3秒"_s.arg(heading)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();

    QWidget window;
    window.setWindowTitle(u"bare_qt"_s);
    const auto pixelsX = [&window](double points) {
        return qRound(points * window.logicalDpiX() / 72.0);
    };
    const auto pixelsY = [&window](double points) {
        return qRound(points * window.logicalDpiY() / 72.0);
    };
    window.resize(pixelsX(windowWidth), pixelsY(windowHeight));

    // The rows' font as the timer window makes it; the default headings, so the same glyphs are drawn.
    QFont font(arguments.size() > 1 ? arguments.at(1) : u"IPAGothic"_s);
    font.setPointSizeF(typeSize);
    font.setWeight(QFont::Normal);
    font.setHintingPreference(QFont::PreferVerticalHinting);
    QLabel* rows[2];
    for (int i = 0; i < 2; ++i) {
        auto* row = new QLabel(&window);
        row->setFont(font);
        row->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        // Colours through the palette, as the timer window sets them: a style sheet would slow the yardstick's own
        // start and so flatter the comparison.
        QPalette palette = row->palette();
        palette.setColor(QPalette::WindowText, Qt::cyan);
        palette.setColor(QPalette::Window, Qt::black);
        row->setPalette(palette);
        row->setAutoFillBackground(true);
        row->setGeometry(0, pixelsY(windowHeight / 2 * i), window.width(),
                         pixelsY(windowHeight / 2 * (i + 1)) - pixelsY(windowHeight / 2 * i));
        rows[i] = row;
    }

    QElapsedTimer clock;
    clock.start();
    qint64 shown = -1;
    QTimer tick;
    tick.setInterval(100);
    const auto update = [&] {
        const qint64 elapsed = (clock.elapsed() + 500) / 1000;
        if (elapsed == shown)
            return;
        shown = elapsed;
        rows[0]->setText(render(u"講演の開始から  "_s, elapsed));
        rows[1]->setText(render(u"発表時間終了まで"_s, 600 - elapsed));
    };
    QObject::connect(&tick, &QTimer::timeout, &window, update);
    update();
    tick.start();

    window.show();
    return QApplication::exec();
}
