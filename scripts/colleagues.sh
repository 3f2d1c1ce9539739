# Sourced by the Wine stages. Offices run the program as people with
# accounts of their own: root may do what they may not (Wine as root clears
# a read-only file's attributes, for one). Two colleagues in one team
# (group): uid 1500 and 1600, made when the machine has no such accounts;
# each runs Wine in a prefix and home of their own below the build folder, as
# Wine requires. Needs root.
team_gid=1700
colleagues_dir="$PWD/build/mingw"
colleague() {  # uid name
  getent group "$team_gid" >/dev/null || groupadd -g "$team_gid" mabrel-team
  getent passwd "$1" >/dev/null || useradd -u "$1" -g "$team_gid" -M -d /nonexistent -s /usr/sbin/nologin "$2"
  local home="$colleagues_dir/colleague-$1"
  mkdir -p "$home/home"
  chown -R "$1:$team_gid" "$home"
}
as_colleague() {  # uid command...
  local uid="$1" home="$colleagues_dir/colleague-$1"
  shift
  timeout 900 setpriv --reuid="$uid" --regid="$team_gid" --groups="$team_gid" \
    env HOME="$home/home" USER="colleague$uid" MABREL_WINE_PREFIX="$home/wineprefix" "$@"
}
