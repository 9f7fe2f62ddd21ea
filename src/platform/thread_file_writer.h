#pragma once

#include "platform/file_writer.h"

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

/// FileWriter on a thread of its own, so that a slow or stalled file system (a network share, a full USB stick)
/// holds up nothing but that thread.
class ThreadFileWriter final : public FileWriter {
public:
    /// `exitWait` bounds how long destruction waits for the files handed over.
    explicit ThreadFileWriter(std::chrono::milliseconds exitWait = std::chrono::seconds(1));
    /// Waits at most `exitWait` for what was handed over to be written. A thread still held up by the file system
    /// is then left to finish on its own (its state outlives this object) and to be ended with the process.
    ~ThreadFileWriter() override;
    ThreadFileWriter(const ThreadFileWriter&) = delete;
    ThreadFileWriter& operator=(const ThreadFileWriter&) = delete;

    void replaceWhole(const QString& path, const QByteArray& bytes) override;
    void appendLine(const QString& path, const LineComposer& compose, const QByteArray& header) override;
    void withdrawLastLine(const QString& path, const LineMatcher& matches) override;

    /// Starts the `exitWait` that destruction waits out, so that several writers ending together wait it once
    /// between them; destruction starts it when this was not called.
    void startExitClock();

    /// Waits at most `timeout` until everything handed over is written or has failed; true when it is.
    bool waitUntilIdle(std::chrono::milliseconds timeout);

private:
    struct Work;
    std::shared_ptr<Work> m_work;
    std::chrono::milliseconds m_exitWait;
    std::optional<std::chrono::steady_clock::time_point> m_exitDeadline;
    std::thread m_thread;
};
