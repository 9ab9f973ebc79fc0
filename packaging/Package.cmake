# make package: a Debian package of everything `cmake --install` installs, with its
# dependencies worked out by dpkg-shlibdeps from the programs' shared libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dorvanelle)
set(CPACK_PACKAGE_VENDOR "Davov Adivir")
set(CPACK_PACKAGE_CONTACT "Davov Adivir <dorvanelle@davovadivir.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer and converter for DICOM images, bitmaps and PCX pictures")
set(CPACK_PACKAGE_DESCRIPTION
  "Dorvanelle opens DICOM files, Windows bitmaps and PCX pictures, steps through\n\
the frames of multi-frame studies, sets the grey-level window, selects part of\n\
an image, lists DICOM elements and saves images as DICOM or bitmaps.\n\
dorvanelle-cli converts single files or whole folders from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The desktop database, the file types and the icon cache are brought up to date by
# the triggers of these packages.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils, shared-mime-info, hicolor-icon-theme, xdg-utils")
include(CPack)
