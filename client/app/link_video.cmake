# Web cams: video connection, capture, codec, video windows: the libraries the program links for this area.
