#include "platform/thread_file_writer.h"

#include <QFile>
#include <QRegularExpression>
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
    void linesFromTwoWritersStayWholeAndFailuresAreLogged();
    void stalledFileHoldsUpNoCaller();
};

void TestThreadFileWriter::linesFromTwoWritersStayWholeAndFailuresAreLogged()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"new/talks.csv"_s);
    ThreadFileWriter writers[2];
    // Failures are logged, and the rest written.
    const QString notAFolder = dir.filePath(u"file"_s);
    QFile(notAFolder).open(QIODevice::WriteOnly);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot append to .*/file/talks.csv: "_s));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot save .*/file/Lectern.count: "_s));
    writers[1].appendLine(notAFolder + u"/talks.csv"_s, "lost\r\n", {});
    writers[1].replaceWhole(notAFolder + u"/Lectern.count"_s, "lost");
    writers[0].appendLine(path, "0 first\r\n", "header\r\n");
    QVERIFY(writers[0].waitUntilIdle(10s));
    for (int i = 1; i <= 200; ++i)
        writers[i % 2].appendLine(path, QByteArray::number(i % 2) + ' ' + QByteArray(200, 'x') + "\r\n", "header\r\n");
    QVERIFY(writers[0].waitUntilIdle(10s) && writers[1].waitUntilIdle(10s));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromLatin1(file.readAll()).split(u"\r\n"_s);
    QCOMPARE(lines.size(), 203);
    QCOMPARE(lines.takeFirst(), u"header"_s);
    QCOMPARE(lines.takeFirst(), u"0 first"_s);
    QCOMPARE(lines.takeLast(), QString());
    QCOMPARE(lines.filter(QRegularExpression(u"^[01] x{200}$"_s)).size(), 200);
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

    {
        ThreadFileWriter writer(200ms);
        writer.appendLine(fifo, "line\r\n", {});
        for (const char* bytes : {"1", "2", "3"})
            writer.replaceWhole(state, bytes);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^files not written after 200 ms"_s));
    }

    // Once the FIFO has a reader, the thread left behind writes only the latest state.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(reader >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(QFile(state).exists(), true, 10000);
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
