// Feeds every file of the fuzz corpus (or the files named on the command line) to the fuzz entry, so the
// inputs the fuzzer found keep being checked in every build.
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    QStringList files;
    for (int i = 1; i < argc; ++i)
        files << QFile::decodeName(argv[i]);
    if (files.isEmpty()) {
        const QDir corpus(QStringLiteral(LECTERN_FUZZ_CORPUS));
        for (const QString& name : corpus.entryList(QDir::Files, QDir::Name))
            files << corpus.filePath(name);
    }
    // An empty or missing corpus would make this test pass without checking anything.
    if (files.size() < 10) {
        std::fprintf(stderr, "only %d corpus files found in %s\n", int(files.size()), LECTERN_FUZZ_CORPUS);
        return 1;
    }
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return 1;
        }
        const QByteArray bytes = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    }
    std::printf("%d inputs read without a fault\n", int(files.size()));
    return 0;
}
