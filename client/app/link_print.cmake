# Print path into presentations, presentation export: the libraries the program links for this area.
target_link_libraries(orb_app PUBLIC orb_print orb_board_uploader)
