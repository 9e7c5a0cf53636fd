# The Debian package: `cpack -G DEB` in a (Release) build directory makes velmora_VERSION_ARCH.deb
# with /usr/bin/velmora and /usr/bin/velmora-tool, the program and its sample folder in
# /usr/lib/velmora, the desktop entry, icons and thumbnailer. dpkg-shlibdeps works out Depends.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fast DICOM image preview for the Linux desktop")
# One string (a list of strings would reach the control file joined by semicolons).
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Velmora files a folder of DICOM images into a Patient / Study / Series / Image tree, decodes\n"
    "every common transfer syntax and lets you zoom, pan, window/level, mirror, flip, invert,\n"
    "step, play and measure. velmora-tool dumps, describes, renders and thumbnails DICOM files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmora developers <velmora@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# application/dicom comes from shared-mime-info; patient names in Japanese, Chinese or Korean
# need a CJK font, which a Debian desktop does not always have.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, fonts-noto-cjk")
include(CPack)
