# Participants, rights and moderation; profile card and editor: the libraries the program links for this area.
