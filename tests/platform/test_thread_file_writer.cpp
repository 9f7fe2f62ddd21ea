#include "platform/thread_file_writer.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

FileWriter::LineComposer fixed(const QByteArray& line)
{
    return [line](const QByteArray&) {
        return line;
    };
}

// "N\r\n", N one more than the number the file's tail ends with.
QByteArray nextNumber(const QByteArray& tail)
{
    const QByteArray last = tail.chopped(std::min<qsizetype>(tail.size(), 2));
    return QByteArray::number(last.mid(last.lastIndexOf('\n') + 1).toInt() + 1) + "\r\n";
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

} // namespace

class TestThreadFileWriter : public QObject {
    Q_OBJECT
private slots:
    void linesFromTwoWritersStayWholeAndFailuresAreLogged();
    void lineCutShortIsTakenBack();
    void lastLineTakenBackOnlyWhenLast();
    void stalledFileHoldsUpNoCaller();
};

void TestThreadFileWriter::linesFromTwoWritersStayWholeAndFailuresAreLogged()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"new/talks.csv"_s);
    ThreadFileWriter writers[2];
    // Failures are logged with their reason, and the rest written. A folder that cannot be made says why, not
    // that the file is missing.
    const QString notAFolder = dir.filePath(u"file"_s);
    QFile(notAFolder).open(QIODevice::WriteOnly);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot append to .*/file/talks.csv: "_s));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot save .*/file/Lectern.count: "_s));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(u"^cannot append to /sys/lectern-test/talks.csv: (?!No such file)"_s));
    writers[1].appendLine(notAFolder + u"/talks.csv"_s, fixed("lost\r\n"), {});
    writers[1].replaceWhole(notAFolder + u"/Lectern.count"_s, "lost");
    writers[1].appendLine(u"/sys/lectern-test/talks.csv"_s, fixed("lost\r\n"), {});
    writers[0].appendLine(path, nextNumber, "0\r\n");
    QVERIFY(writers[0].waitUntilIdle(10s));
    // Each line numbered after the one before it, whichever writer wrote it: the file's end is read under the lock.
    for (int i = 0; i < 200; ++i)
        writers[i % 2].appendLine(path, nextNumber, "header\r\n");
    QVERIFY(writers[0].waitUntilIdle(10s) && writers[1].waitUntilIdle(10s));
    QByteArray expected = "0\r\n";
    for (int i = 1; i <= 201; ++i)
        expected += QByteArray::number(i) + "\r\n";
    QCOMPARE(contents(path), expected);
}

void TestThreadFileWriter::lineCutShortIsTakenBack()
{
    // A file-size limit makes the write come short, as a full disk does.
    QTemporaryDir dir;
    const QString path = dir.filePath(u"talks.csv"_s);
    ThreadFileWriter writer;
    writer.appendLine(path, fixed("first\r\n"), "header\r\n");
    QVERIFY(writer.waitUntilIdle(10s));
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{20, limit.rlim_max};
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot append to .*/talks.csv: File too large"_s));
    writer.appendLine(path, fixed("a line longer than the limit leaves\r\n"), "header\r\n");
    const bool idle = writer.waitUntilIdle(10s);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(idle);
    writer.appendLine(path, fixed("third\r\n"), "header\r\n");
    QVERIFY(writer.waitUntilIdle(10s));
    QCOMPARE(contents(path), "header\r\nfirst\r\nthird\r\n");
}

void TestThreadFileWriter::lastLineTakenBackOnlyWhenLast()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"talks.csv"_s);
    const auto is = [](const QByteArray& line) {
        return [line](const QByteArray& last) {
            return last == line;
        };
    };
    ThreadFileWriter writer;
    writer.withdrawLastLine(path, is("a")); // no file: nothing made, nothing said
    for (const char* line : {"a\r\n", "b\r\n"})
        writer.appendLine(path, fixed(line), "header\r\n");
    writer.withdrawLastLine(path, is("b"));
    writer.withdrawLastLine(path, is("b")); // "a" is last now
    QVERIFY(writer.waitUntilIdle(10s));
    QCOMPARE(contents(path), "header\r\na\r\n");
    writer.withdrawLastLine(path, is("a"));
    writer.withdrawLastLine(path, is("header")); // the header stays
    QVERIFY(writer.waitUntilIdle(10s));
    QCOMPARE(contents(path), "header\r\n");
}

void TestThreadFileWriter::stalledFileHoldsUpNoCaller()
{
    // The list's lock held elsewhere (another copy on a share that hangs) stalls the writer waiting for it.
    QTemporaryDir dir;
    const QString list = dir.filePath(u"talks.csv"_s);
    const QString state = dir.filePath(u"Lectern.count"_s);
    const QString ownState = dir.filePath(u"own/Lectern.count"_s);
    const int holder = ::open(QFile::encodeName(list).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX) == 0);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0 && ::inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_MOVED_TO) >= 0);

    ThreadFileWriter countWriter;
    {
        ThreadFileWriter writer(200ms);
        writer.appendLine(list, fixed("line\r\n"), {});
        for (const char* bytes : {"1", "2", "3"})
            writer.replaceWhole(state, bytes);
        // A writer of its own saves meanwhile.
        countWriter.replaceWhole(ownState, "saved");
        QVERIFY(countWriter.waitUntilIdle(10s));
        QCOMPARE(contents(ownState), "saved");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^files not written after 200 ms"_s));
    }

    // Once the lock is free, the thread left behind writes the line and only the latest state.
    ::close(holder);
    QTRY_COMPARE_WITH_TIMEOUT(QFile(state).exists(), true, 10000);
    QCOMPARE(contents(state), "3");
    QCOMPARE(contents(list), "line\r\n");
    alignas(inotify_event) char events[4096];
    const ssize_t got = ::read(watch, events, sizeof events);
    QCOMPARE(got, ssize_t(sizeof(inotify_event) + reinterpret_cast<inotify_event*>(events)->len));
    QCOMPARE(reinterpret_cast<inotify_event*>(events)->name, "Lectern.count");
    ::close(watch);
}

QTEST_GUILESS_MAIN(TestThreadFileWriter)
#include "test_thread_file_writer.moc"
