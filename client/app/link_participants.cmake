# Participants, rights and moderation; profile card and editor: the libraries the program links for this area.
target_link_libraries(orb_app PUBLIC orb_userlist orb_usercard orb_userdetails orb_request)
