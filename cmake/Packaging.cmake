# The Debian package, made by CPack from the install rules: `bash scripts/package.sh`, or
# `cpack -G DEB` in a built folder. dpkg-shlibdeps computes the dependencies from the programs'
# libraries, so the package asks for exactly what the build linked.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tintavo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR vornsoft)
set(CPACK_PACKAGE_CONTACT "vornsoft <tintavo@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "camera colour calibration from a colour chart photograph")
set(CPACK_PACKAGE_DESCRIPTION
  "Tintavo makes a camera calibration LUT for film and video post-production.
Photograph a ColorChecker Classic or ColorChecker Digital SG chart with the
camera to calibrate, open the photograph and drag a rectangle over the chart:
Tintavo samples every patch, fits a 3D thin-plate spline from the camera's
colours to the chart's true colours, previews the corrected picture and saves
the correction as a 3D LUT through nineteen output profiles (cube, 3dl,
Lustre, Nucoda, DaVinci, Quantel, Flanders Scientific and others).
.
The package holds the desktop program and tintavo-cli, which calibrates,
reports the error of every patch, and reads, converts and applies LUT files
in some thirty layouts on the command line.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.example.com/tintavo")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tintavo_<version>_<architecture>.deb
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
