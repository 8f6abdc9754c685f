# Application sharing: session, viewer, settings and control bar: the libraries the program links for this area.
target_link_libraries(orb_app PUBLIC orb_appshare_viewer orb_appshare_settings orb_appshare_controlbar orb_appshare_attendees
                      orb_appshare_x orb_xdesktop)
