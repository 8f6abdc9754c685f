# Board window and its tools: the libraries the program links for this area.
target_link_libraries(orb_app PUBLIC orb_board_window orb_board_library orb_board_capture orb_board_logic)
