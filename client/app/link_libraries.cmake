# Resource libraries, guided web tour, welcome and about windows: the libraries the program links for this area.
