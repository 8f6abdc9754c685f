# Recorded sessions: download, replay and the player window: the libraries the program links for this area.
