# Settings dialog: the libraries the program links for this area.
