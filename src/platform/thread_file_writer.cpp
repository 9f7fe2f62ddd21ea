#include "platform/thread_file_writer.h"

#include "platform/atomic_save.h"
#include "platform/log_categories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct ThreadFileWriter::Work {
    struct Line {
        QString path;
        QByteArray line;
        QByteArray header;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::map<QString, QByteArray> replacements;
    std::deque<Line> lines;
    bool busy = false;
    bool stopping = false;
    // Set when the owner gave up waiting: the process may be ending, so the thread stays silent.
    bool abandoned = false;

    bool isIdle() const { return !busy && replacements.empty() && lines.empty(); }
    void run();
    void fail(const char* what, const QString& path, const QString& reason);
};

namespace {

QString appendLineTo(const QString& path, const QByteArray& line, const QByteArray& header)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return qt_error_string(errno);
    struct stat status {};
    const QByteArray bytes = ::fstat(fd, &status) == 0 && status.st_size == 0 ? header + line : line;
    ssize_t written = 0;
    do
        written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    while (written < 0 && errno == EINTR);
    int error = written < 0 ? errno : 0;
    if (written >= 0 && written < bytes.size())
        error = ENOSPC;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error == 0 ? QString() : qt_error_string(error);
}

} // namespace

void ThreadFileWriter::Work::fail(const char* what, const QString& path, const QString& reason)
{
    {
        const std::lock_guard lock(mutex);
        if (abandoned)
            return;
    }
    // Not under the lock: a stderr that blocks must not hold up the callers.
    qCWarning(lcFiles, "cannot %s %s: %s", what, qUtf8Printable(path), qUtf8Printable(reason));
}

void ThreadFileWriter::Work::run()
{
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !replacements.empty() || !lines.empty(); });
        // One piece at a time, taken when it begins: a replacement handed over while another piece is under way
        // takes the place of the one waiting for the same file.
        if (!lines.empty()) {
            const Line next = std::move(lines.front());
            lines.pop_front();
            busy = true;
            lock.unlock();
            const QString error = appendLineTo(next.path, next.line, next.header);
            if (!error.isEmpty())
                fail("append to", next.path, error);
            lock.lock();
        } else if (!replacements.empty()) {
            auto node = replacements.extract(replacements.begin());
            busy = true;
            lock.unlock();
            const FileAccess::WriteResult result = saveWhole(node.key(), node.mapped());
            if (!result.ok)
                fail("save", node.key(), result.error);
            lock.lock();
        } else {
            return; // stopping, and nothing left
        }
        busy = false;
        if (isIdle())
            idle.notify_all();
    }
}

ThreadFileWriter::ThreadFileWriter(std::chrono::milliseconds exitWait)
    : m_work(std::make_shared<Work>()), m_exitWait(exitWait)
{
    // The thread holds the work too, so that it can outlive this object when the file system holds it up.
    m_thread = std::thread([work = m_work] { work->run(); });
}

ThreadFileWriter::~ThreadFileWriter()
{
    std::unique_lock lock(m_work->mutex);
    m_work->stopping = true;
    m_work->wake.notify_one();
    if (!m_work->idle.wait_for(lock, m_exitWait, [this] { return m_work->isIdle(); })) {
        qCWarning(lcFiles, "files not written after %lld ms; left to a thread that ends with the program",
                  qlonglong(m_exitWait.count()));
        m_work->abandoned = true;
        m_thread.detach();
        return;
    }
    lock.unlock();
    m_thread.join();
}

void ThreadFileWriter::replaceWhole(const QString& path, const QByteArray& bytes)
{
    const std::lock_guard lock(m_work->mutex);
    m_work->replacements.insert_or_assign(path, bytes);
    m_work->wake.notify_one();
}

void ThreadFileWriter::appendLine(const QString& path, const QByteArray& line, const QByteArray& header)
{
    const std::lock_guard lock(m_work->mutex);
    m_work->lines.push_back({path, line, header});
    m_work->wake.notify_one();
}

bool ThreadFileWriter::waitUntilIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_work->mutex);
    return m_work->idle.wait_for(lock, timeout, [this] { return m_work->isIdle(); });
}
