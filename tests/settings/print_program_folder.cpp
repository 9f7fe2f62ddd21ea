// Prints the folder DiskFileAccess reports for this program, so a test can start it through a symbolic link.
#include "platform/disk_file_access.h"

#include <cstdio>

int main()
{
    const DiskFileAccess files;
    std::puts(files.programFolder().toUtf8().constData());
    return 0;
}
