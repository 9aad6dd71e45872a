# The click sn.wav goes beside the executables; assets/make_click.py remakes the file itself.
set(CADREL_CLICK_OUTPUT ${CMAKE_BINARY_DIR}/bin/sn.wav)
add_custom_command(
    OUTPUT ${CADREL_CLICK_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/sn.wav ${CADREL_CLICK_OUTPUT}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/sn.wav
    COMMENT "Placing sn.wav beside the executables"
    VERBATIM
)
add_custom_target(cadrel_click DEPENDS ${CADREL_CLICK_OUTPUT})
add_dependencies(cadrel_assets cadrel_click)

