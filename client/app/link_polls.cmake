# Polls and exams, server recording, breakout rooms: the libraries the program links for this area.
target_link_libraries(orb_app PUBLIC orb_polls orb_polls_windows)
