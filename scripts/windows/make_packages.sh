#!/usr/bin/env bash
# Makes the Windows packages from a Windows build (the target windows_packages runs it):
#   make_packages.sh BUILD_DIR DIST_DIR VERSION
# DIST_DIR/Lectern-VERSION-windows-x64.zip, a folder Lectern-VERSION/ that runs wherever it is unpacked, and
# DIST_DIR/Lectern-VERSION-setup.exe, the per-user installer, both from what `cmake --install` puts in a staging
# folder, stripped of debug information.
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
dist=$(cd "$2" && pwd)
version=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
triplet=x86_64-w64-mingw32

for tool in zip makensis "$triplet-strip"; do
    command -v "$tool" >/dev/null || { echo "make_packages: no $tool (run scripts/setup.sh windows)" >&2; exit 1; }
done

staging=$build/staging
folder=$staging/Lectern-$version
rm -rf "$staging"
cmake --install "$build" --prefix "$folder"
find "$folder" -type f \( -name '*.exe' -o -name '*.dll' \) -exec "$triplet-strip" --strip-unneeded {} +

zip_file=$dist/Lectern-$version-windows-x64.zip
rm -f "$zip_file"
(cd "$staging" && zip -qr -9 "$zip_file" "Lectern-$version")

# The uninstaller removes what was installed, file by file, then the folders, deepest first, when empty.
files_nsh=$staging/files.nsh
# shellcheck disable=SC2016 # $INSTDIR is the installer's own variable
{
    (cd "$folder" && find . -type f | sed 's|^\./||' | sort) | while read -r f; do
        printf 'Delete "$INSTDIR\\%s"\n' "${f//\//\\}"
    done
    (cd "$folder" && find . -mindepth 1 -type d | sed 's|^\./||' | sort -r) | while read -r d; do
        printf 'RMDir "$INSTDIR\\%s"\n' "${d//\//\\}"
    done
} >"$files_nsh"
setup_file=$dist/Lectern-$version-setup.exe
size_kb=$(du -sk "$folder" | cut -f1)
makensis -V2 -DVERSION="$version" -DSOURCE="$folder" -DFILES="$files_nsh" -DICON="$build/src/app/lectern.ico" \
    -DSIZE_KB="$size_kb" -DOUTFILE="$setup_file" "$root/packaging/windows/lectern.nsi" >&2

echo "Made $zip_file ($(du -h "$zip_file" | cut -f1)) and $setup_file ($(du -h "$setup_file" | cut -f1))"
