# Sourced. private_apt_update FOLDER MODE: an apt of its own in FOLDER, with this
# machine's Debian sources of MODE (see debian-sources.sh), its own lists and caches;
# the machine's apt sources and state stay as they are. Afterwards
# "${private_apt[@]}" are the options that make apt-get use it.
private_apt_update() {
  local folder=$1 mode=$2
  mkdir -p "$folder/sources.list.d" "$folder/lists/partial" "$folder/cache/archives/partial"
  bash "$(dirname "${BASH_SOURCE[0]}")/debian-sources.sh" "$mode" >"$folder/sources.list.d/debian.sources"
  private_apt=(-q -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$folder/sources.list.d"
    -o Dir::State::Lists="$folder/lists" -o Dir::Cache="$folder/cache" -o APT::Sandbox::User=root)
  apt-get "${private_apt[@]}" update >/dev/null
}
