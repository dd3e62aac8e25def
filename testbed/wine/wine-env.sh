# Environment for the private Wine prefix of a build tree. Source with WINE_DIR set.
export WINEPREFIX="$WINE_DIR/prefix"
export HOME="$WINE_DIR/home"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
# Code page 936, as on the users' systems.
export LC_ALL=zh_CN.UTF-8
unset DISPLAY WAYLAND_DISPLAY
