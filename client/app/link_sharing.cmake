# Application sharing: session, viewer, settings and control bar: the libraries the program links for this area.
