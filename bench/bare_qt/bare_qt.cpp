// The yardstick for Lectern's whole-process figures: the least a Qt Widgets program can do to show two counting
// rows. It has what the timer window has (two labels of large type, a 100 ms timer, a text set only when the
// shown second changes) and nothing else, so any gap between the two is the cost of Lectern's own work.
#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QString>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

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

    QWidget window;
    window.setWindowTitle(u"bare_qt"_s);
    // The same inner size and type size as the timer window at creation, so both paint the same area.
    const double pixelsPerPoint = window.logicalDpiX() / 72.0;
    window.resize(qRound(528.75 * pixelsPerPoint), qRound(84.75 * pixelsPerPoint));

    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QFont font(u"IPAGothic"_s);
    font.setPointSizeF(41.3);
    QLabel* rows[2];
    for (auto*& row : rows) {
        row = new QLabel(&window);
        row->setFont(font);
        row->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        // Colours through the palette, as the timer window sets them: a style sheet would slow the yardstick's own
        // start and so flatter the comparison.
        QPalette palette = row->palette();
        palette.setColor(QPalette::WindowText, Qt::cyan);
        palette.setColor(QPalette::Window, Qt::black);
        row->setPalette(palette);
        row->setAutoFillBackground(true);
        layout->addWidget(row);
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
        rows[0]->setText(render(u"経過"_s, elapsed));
        rows[1]->setText(render(u"残り"_s, 600 - elapsed));
    };
    QObject::connect(&tick, &QTimer::timeout, &window, update);
    update();
    tick.start();

    window.show();
    return QApplication::exec();
}
