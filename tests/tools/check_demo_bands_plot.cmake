# Writes the demo's spectrum picture to PLOT as the build target does and
# fails when it differs from EXPECTED (the committed docs/demo-bands.svg)
# or, where xmllint exists, when xmllint finds it malformed.
include(${CMAKE_CURRENT_LIST_DIR}/../../tools/measure/demo_bands_plot.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/expect_committed_svg.cmake)
expect_committed_svg(${EXPECTED} ${PLOT} demo_bands_svg)
