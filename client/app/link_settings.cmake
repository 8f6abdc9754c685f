# Settings dialog: the libraries the program links for this area.
target_link_libraries(orb_app PUBLIC orb_settings_dialog orb_voice_wizard)
