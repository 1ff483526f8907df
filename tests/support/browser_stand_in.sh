#!/bin/sh
# The web browser of the test prefix (scripts/test.sh names it in Wine's
# WineBrowser settings): it shows nothing and appends the address it was
# asked to show to the file named by TL_BROWSER_LOG, so a test can see that
# a page really went to the browser, and no real browser opens on the
# tests' screen.
[ -n "$TL_BROWSER_LOG" ] && printf '%s\n' "$1" >> "$TL_BROWSER_LOG"
exit 0
