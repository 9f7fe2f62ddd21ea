#pragma once

// Sound files for the platform tests, written with libsndfile, and readers for what SDL's disk driver wrote.

#include <QFile>
#include <QString>
#include <QtEndian>

#include <sndfile.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace sound_files {

/// A recognisable signal: pseudo-random, never zero (so no stretch of it passes for silence) and in steps of 256,
/// so that every encoding down to 8 bits holds it exactly.
inline std::vector<std::int16_t> pattern(std::int64_t count, std::uint32_t seed = 0x2545f491u)
{
    std::vector<std::int16_t> samples;
    samples.reserve(std::size_t(count));
    std::uint32_t state = seed;
    for (std::int64_t i = 0; i < count; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const int step = 1 + int(state % 120); // 1 .. 120
        samples.push_back(std::int16_t(((state >> 8) & 1 ? step : -step) * 256));
    }
    return samples;
}

/// Writes interleaved 16-bit samples in the given libsndfile format. Float encodings get the samples scaled to
/// full scale 1.0, integer ones get them as they are, so that reading back yields the same 16-bit values.
inline bool write(const QString& path, int format, int sampleRate, int channels,
                  const std::vector<std::int16_t>& samples)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const sf_count_t frames = sf_count_t(samples.size()) / channels;
    sf_count_t written = 0;
    const int encoding = format & SF_FORMAT_SUBMASK;
    if (encoding == SF_FORMAT_FLOAT || encoding == SF_FORMAT_DOUBLE) {
        std::vector<float> scaled;
        scaled.reserve(samples.size());
        for (const std::int16_t s : samples)
            scaled.push_back(float(s) / 32768.0f);
        written = sf_writef_float(file, scaled.data(), frames);
    } else {
        written = sf_writef_short(file, samples.data(), frames);
    }
    return sf_close(file) == 0 && written == frames;
}

/// Writes float samples as they are (values beyond full scale, infinities and NaN included).
inline bool writeFloats(const QString& path, int sampleRate, const std::vector<float>& samples)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const sf_count_t written = sf_writef_float(file, samples.data(), sf_count_t(samples.size()));
    return sf_close(file) == 0 && written == sf_count_t(samples.size());
}

/// Where the data chunk's size field lies in a RIFF file, or -1.
inline qsizetype dataSizeOffset(const QByteArray& bytes)
{
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        if (bytes.mid(at, 4) == "data")
            return at + 4;
        at += 8 + qsizetype(size) + (size & 1);
    }
    return -1;
}

/// Makes a WAV's header claim dataBytes of sound and stretches the file (sparsely) to hold that much.
inline bool claimDataBytes(const QString& path, quint32 dataBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const qsizetype sizeAt = dataSizeOffset(bytes);
    if (sizeAt < 0)
        return false;
    const qint64 total = sizeAt + 4 + qint64(dataBytes);
    qToLittleEndian<quint32>(quint32(total - 8), bytes.data() + 4);
    qToLittleEndian<quint32>(dataBytes, bytes.data() + sizeAt);
    return file.seek(0) && file.write(bytes.left(sizeAt + 4)) == sizeAt + 4 && file.resize(total);
}

/// The 16-bit samples SDL's disk driver wrote (native byte order, as the device asks for AUDIO_S16SYS).
inline std::vector<std::int16_t> readRaw(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<std::int16_t> samples(std::size_t(bytes.size()) / sizeof(std::int16_t));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(std::int16_t));
    return samples;
}

} // namespace sound_files
