# Voice connection, remote audio control, audio wizard: the libraries the program links for this area.
