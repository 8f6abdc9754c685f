# Chat, session notes and requests; command actions and menus: the libraries the program links for this area.
