# Web cams: video connection, capture, codec, video windows: the libraries the program links for this area.
target_link_libraries(orb_app PUBLIC orb_video_window)
