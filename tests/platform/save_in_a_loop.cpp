// Saves two different contents in turn to the file named on the command line, until it is killed.
#include "platform/disk_file_access.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    // Large enough that a save takes several writes' worth of time and a torn file would show.
    const QByteArray contents[2] = {QByteArray(48 * 1024, 'a'), QByteArray(40 * 1024, 'b')};
    DiskFileAccess files;
    for (unsigned i = 0;; ++i) {
        if (!files.writeWhole(path, contents[i % 2]).ok)
            return 1;
        if (i == 0) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
}
