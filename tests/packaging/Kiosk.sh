# What the package tests do at the kiosk and see of it, sourced by them: touches
# on the display $DISPLAY (with $XAUTHORITY), the books and the receipts. Each
# command runs through "${in_box[@]}" (empty: on this machine; nsenter: in a
# container). fail is the test's own.

touch_at() { "${in_box[@]}" xdotool mousemove "$1" "$2" click 1; sleep 0.15; }
key_x=(636 635 769 901 636 769 901 636 769 901) # key n's centre, n = 0..9
key_y=(565 287 288 288 381 381 381 470 470 470)
press_digits() { local s=$1 i; for ((i = 0; i < ${#s}; i++)); do touch_at "${key_x[${s:i:1}]}" "${key_y[${s:i:1}]}"; done; }
books() { "${in_box[@]}" sqlite3 /var/lib/vek-demo/paysim.db "$1"; }

# A voucher use of 7,000 won from 1000000000003 (of 100,000 won) with the keypad,
# the voucher screen's first touches; checks the books and the virtual printer's
# receipt RECEIPT (a path) and sets approval.
use_voucher_at_kiosk() {
  local receipt=$1
  press_digits 1000000000003
  touch_at 326 476 && press_digits 7000
  touch_at 171 613 # use
  for _ in $(seq 60); do [ "$(books "SELECT amount || ' ' || result FROM operations WHERE code='9000' AND amount=7000")" = "7000 0000" ] && break; sleep 0.1; done
  [ "$(books "SELECT number || ' ' || result FROM operations WHERE code='9000' AND amount=7000")" = "1000000000003 0000" ] ||
    fail "books: $(books 'SELECT code, number, amount, result FROM operations')"
  approval=$(books "SELECT approval FROM operations WHERE code='9000' AND amount=7000")
  for _ in $(seq 60); do "${in_box[@]}" test -s "$receipt" && break; sleep 0.1; done
  local text
  text=$("${in_box[@]}" cat "$receipt") || fail "no receipt: $("${in_box[@]}" ls /var/lib/vek-demo/receipts)"
  grep -qF "[미스터쿠모 로드 이용권 사용]" <<<"$text" || fail "the receipt is not the use's: $text"
  grep -qF "  승인번호 : $approval" <<<"$text" || fail "the receipt lacks approval $approval"
  grep -qF "7,000원" <<<"$text" || fail "the receipt lacks the amount"
}

# Opens the web page screen and waits for a page renderer in the browser's own
# sandbox: seccomp filter on, in user, process and network namespaces of its own.
open_web_page_in_sandbox() {
  touch_at 650 50
  local sandboxed='
    browser=$(pgrep -u vek -x vek-webview) || exit 1
    for p in $(pgrep -u vek -f QtWebEngineProcess); do
      grep -q "^Seccomp:[[:space:]]*2" "/proc/$p/status" || continue
      for ns in user pid net; do [ "$(readlink "/proc/$p/ns/$ns")" != "$(readlink "/proc/$browser/ns/$ns")" ] || continue 2; done
      exit 0
    done
    exit 1'
  for _ in $(seq 150); do "${in_box[@]}" bash -c "$sandboxed" && break; sleep 0.1; done
  "${in_box[@]}" bash -c "$sandboxed" || fail "no page renderer in the browser's sandbox"
  if "${in_box[@]}" pgrep -u vek -af QtWebEngineProcess | grep -q -- '--no-sandbox'; then
    fail "the browser runs without its sandbox"
  fi
}
