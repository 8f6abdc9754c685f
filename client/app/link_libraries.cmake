# Resource libraries, guided web tour, welcome and about windows: the libraries the program links for this area.
target_link_libraries(orb_app PUBLIC orb_libraries orb_browser orb_library_windows orb_welcome)
