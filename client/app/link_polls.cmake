# Polls and exams, server recording, breakout rooms: the libraries the program links for this area.
