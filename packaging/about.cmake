# Who makes the program and where it lives on the web: one place for the
# Debian package, the AppStream file and the Windows installer
# (scripts/package.sh hands these to makensis).
set(GUIZZOLO_PACKAGE_NAME guizzolo)
set(GUIZZOLO_DISPLAY_NAME Guizzolo)
set(GUIZZOLO_PUBLISHER "Guizzolo developers")
set(GUIZZOLO_MAINTAINER "Guizzolo developers <guizzolo@example.org>")
set(GUIZZOLO_HOMEPAGE "https://guizzolo.example.org/")
set(GUIZZOLO_APP_ID org.example.guizzolo)
set(GUIZZOLO_SUMMARY "Little fish that swims over the desktop and asks to be fed")
