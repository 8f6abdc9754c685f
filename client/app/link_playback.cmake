# Recorded sessions: download, replay and the player window: the libraries the program links for this area.
target_link_libraries(orb_app PUBLIC orb_playback orb_player_window orb_replay_voice)
