#include "platform/thread_file_writer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestThreadFileWriter : public QObject {
    Q_OBJECT
private slots:
    void linesFromTwoWritersStayWhole();
    void failuresAreLoggedAndTheRestWritten();
    void stalledFileHoldsUpNoCaller();
};

void TestThreadFileWriter::linesFromTwoWritersStayWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"new/talks.csv"_s);
    ThreadFileWriter first;
    ThreadFileWriter second;
    first.appendLine(path, "first line\r\n", "header\r\n");
    QVERIFY(first.waitUntilIdle(10s));
    QStringList expected{u"header"_s, u"first line"_s};
    for (int i = 0; i < 200; ++i) {
        const QByteArray line = (i % 2 ? "second " : "first ") + QByteArray::number(i) + QByteArray(200, 'x');
        (i % 2 ? second : first).appendLine(path, line + "\r\n", "header\r\n");
        expected << QString::fromLatin1(line);
    }
    QVERIFY(first.waitUntilIdle(10s) && second.waitUntilIdle(10s));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromLatin1(file.readAll()).split(u"\r\n"_s);
    QCOMPARE(lines.takeLast(), QString());
    // Each writer's lines in its order; between the two any order.
    const auto ofWriter = [](QStringList all, const QString& prefix) {
        return all.filter(QRegularExpression(u"^"_s + prefix));
    };
    QCOMPARE(ofWriter(lines, u"header|first"_s), ofWriter(expected, u"header|first"_s));
    QCOMPARE(ofWriter(lines, u"second"_s), ofWriter(expected, u"second"_s));
    QCOMPARE(lines.size(), expected.size());
}

void TestThreadFileWriter::failuresAreLoggedAndTheRestWritten()
{
    QTemporaryDir dir;
    const QString notAFolder = dir.filePath(u"file"_s);
    QFile(notAFolder).open(QIODevice::WriteOnly);
    const QString good = dir.filePath(u"talks.csv"_s);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot append to .*/file/talks.csv: "_s));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot save .*/file/Lectern.count: "_s));
    ThreadFileWriter writer;
    writer.appendLine(notAFolder + u"/talks.csv"_s, "lost\r\n", {});
    writer.replaceWhole(notAFolder + u"/Lectern.count"_s, "lost");
    writer.appendLine(good, "kept\r\n", "header\r\n");
    QVERIFY(writer.waitUntilIdle(10s));
    QFile file(good);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "header\r\nkept\r\n");
}

void TestThreadFileWriter::stalledFileHoldsUpNoCaller()
{
    // Opening a FIFO for writing waits for a reader, as a hung network share would.
    QTemporaryDir dir;
    const QString fifo = dir.filePath(u"talks.csv"_s);
    const QString state = dir.filePath(u"Lectern.count"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0 && ::inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_MOVED_TO) >= 0);

    QElapsedTimer timer;
    timer.start();
    {
        ThreadFileWriter writer(200ms);
        writer.appendLine(fifo, "line\r\n", {});
        for (const char* bytes : {"1", "2", "3"})
            writer.replaceWhole(state, bytes);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^files not written after 200 ms"_s));
    }
    // Without the bound the FIFO would hold this test until its timeout.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));

    // Once the FIFO has a reader, the thread left behind finishes: the line, then only the latest state.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(reader >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(QFile(state).exists(), true, 10000);
    char line[16] = {};
    QCOMPARE(::read(reader, line, sizeof line), ssize_t(6));
    QFile saved(state);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), "3");
    alignas(inotify_event) char events[4096];
    const ssize_t got = ::read(watch, events, sizeof events);
    QCOMPARE(got, ssize_t(sizeof(inotify_event) + reinterpret_cast<inotify_event*>(events)->len));
    QCOMPARE(reinterpret_cast<inotify_event*>(events)->name, "Lectern.count");
    ::close(reader);
    ::close(watch);
}

QTEST_GUILESS_MAIN(TestThreadFileWriter)
#include "test_thread_file_writer.moc"
