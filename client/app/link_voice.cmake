# Voice connection, remote audio control, audio wizard: the libraries the program links for this area.
target_link_libraries(orb_app PUBLIC orb_voice orb_voice_remote orb_voice_silence orb_voice_wizard)
