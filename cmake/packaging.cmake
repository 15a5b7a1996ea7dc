# `cpack -G DEB` in the build folder makes quirlbau_<version>_<arch>.deb
# from what `cmake --install` puts in place.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quirlbau)
set(CPACK_PACKAGE_VENDOR "Quirlbau maintainers")
set(CPACK_PACKAGE_CONTACT "Quirlbau maintainers <maintainers@users.noreply.c-seed-089e2742.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The library dependencies come from the binary; the X11 platform plugin is
# loaded at run time, so no linker can see it, and libqt6gui6 only
# recommends it. Qt's German texts for its dialogs and menus are files read
# at start.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
# The window asks for Arial; Liberation Sans has its metrics.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
# The synopsis line is the project's DESCRIPTION; this is the long text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
Quirlbau draws the Mandelbrot set in a window with German captions. Type in
the section of the complex plane and the iteration limit, or load one of six
example sections, and press Start. Three double-clicks pick a new section to
zoom into; a running computation can be paused and continued; the eight
colours of the picture can be chosen freely.

Quirlbau zeichnet die Mandelbrot-Menge. Man gibt den Ausschnitt der
komplexen Ebene und die Iterationsgrenze ein oder lädt einen von sechs
Beispielausschnitten und drückt auf Start. Drei Doppelklicks wählen einen
neuen Ausschnitt zum Vergrößern; eine laufende Berechnung lässt sich
anhalten und fortsetzen; die acht Farben des Bildes sind frei wählbar.]])

include(CPack)
