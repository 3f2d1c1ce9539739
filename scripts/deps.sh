# Installs the Debian packages given that are not installed yet; one
# apt-get update at most, and nothing at all when everything is there.
ensure_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# What building and testing the core needs; dtl (header-only) compares texts,
# for the Windows cross build too; zlib and expat read Excel and Word files.
CORE_PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest libdtl-dev zlib1g-dev libexpat1-dev)
# The tests' Excel and Word files are made with openpyxl and python-docx,
# and protected by a password with msoffcrypto-tool.
OFFICE_TEST_PACKAGES=(python3 python3-openpyxl python3-docx python3-msoffcrypto-tool)

# The file systems the Directory contract is tested on, each made from an
# image: XFS, btrfs, exFAT through exfat-fuse, NTFS through ntfs-3g, and a
# share of a local Samba server through the FUSE client smbnetfs.
FS_TEST_PACKAGES=(xfsprogs btrfs-progs exfatprogs exfat-fuse ntfs-3g samba smbnetfs fuse3)

# The Windows cross build and its test run under Wine (scripts/wine-tests.sh);
# locales for the Japanese locale that gives Wine code page 932.
WIN_PACKAGES=(g++-mingw-w64-x86-64-posix wine64 wine locales googletest cmake ninja-build libdtl-dev libz-mingw-w64-dev)
# The Windows front end's tests under Wine (scripts/wine-gui-tests.sh): an X
# server for its windows (xprop tells when it answers) and a Japanese font.
WIN_GUI_TEST_PACKAGES=(xvfb x11-utils fonts-ipafont-gothic)

# The Qt 6 front end, its tests on the offscreen platform and the screenshot
# under Xvfb: fonts for the Japanese captions (Noto CJK for what the IPA faces
# lack, such as 𠮷 and Hangul), Qt's own Japanese texts, an icon theme with an
# icon per file type, and the desktop's "open with" (xdg-open).
GUI_PACKAGES=(qt6-base-dev libgl-dev libxcb1-dev xvfb xauth x11-utils imagemagick fonts-ipafont-gothic fonts-noto-cjk
              qt6-translations-l10n adwaita-icon-theme shared-mime-info xdg-utils)

# The GUI tests on an X server with real window managers, driven by xdotool;
# xdg-open tells a file's type with file; the install test asks the desktop
# as a file manager does (gio, update-desktop-database, desktop-file-validate).
GUI_TEST_PACKAGES=(openbox metacity xdotool file libglib2.0-bin desktop-file-utils)
# The Debian package (scripts/build-deb.sh, and its test): dpkg-shlibdeps
# for the libraries it needs; appstreamcli and man check what it installs.
PACKAGE_PACKAGES=(dpkg-dev appstream man-db fontconfig)
# The libFuzzer targets (scripts/fuzz.sh): clang and its sanitizer and fuzzer runtimes.
FUZZ_PACKAGES=(clang libclang-rt-14-dev cmake ninja-build libdtl-dev zlib1g-dev libexpat1-dev)
