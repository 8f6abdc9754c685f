# Chat, session notes and requests; command actions and menus: the libraries the program links for this area.
target_link_libraries(orb_app PUBLIC orb_chat_window orb_commands)
