# The tool that draws the program's pictures into assets/pictures. The
# pictures are committed, so the build does not run it; see the comment at the
# top of make_pictures.cpp for how to remake them.
add_executable(make_pictures EXCLUDE_FROM_ALL
    ${CMAKE_CURRENT_LIST_DIR}/make_pictures.cpp
    ${CMAKE_CURRENT_LIST_DIR}/make_pictures_banner.cpp
    ${CMAKE_CURRENT_LIST_DIR}/make_pictures_icon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/make_pictures_ico.cpp
    ${CMAKE_CURRENT_LIST_DIR}/make_pictures_pointers.cpp
)
target_link_libraries(make_pictures PRIVATE Qt6::Gui)
