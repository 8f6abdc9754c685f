# Board window and its tools: the libraries the program links for this area.
