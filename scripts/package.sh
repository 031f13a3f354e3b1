#!/usr/bin/env bash
# Builds the Debian package build/hubrix_<version>-<revision>_<arch>.deb from the program,
# hubrixctl, the simulator and their manual pages, then checks its desktop entry and AppStream
# metadata. Install it with
#     sudo apt install ./build/hubrix_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
# dpkg-shlibdeps (dpkg-dev, file) derives the package's dependencies from its libraries.
# package_contents is everything the package holds, and only that: cpack builds nothing itself.
scripts/setup.sh --also dpkg-dev --also file --also desktop-file-utils --also appstream \
    package_contents
echo "Checking the desktop entry and the AppStream metadata"
desktop-file-validate data/org.hubrix.Hubrix.desktop
appstreamcli validate --no-net build/org.hubrix.Hubrix.metainfo.xml
echo "Packing build/hubrix_*.deb"
# A package of an earlier version would make `apt install ./build/hubrix_*.deb` ambiguous.
rm -f build/hubrix_*.deb
(cd build && cpack -G DEB)
ls build/hubrix_*.deb
