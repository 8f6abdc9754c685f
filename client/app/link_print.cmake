# Print path into presentations, presentation export: the libraries the program links for this area.
