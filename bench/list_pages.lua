-- SPDX-License-Identifier: GPL-3.0-or-later
-- wrk: every request a full list page of lumo-sites (started with --cell-size 5000 and
-- --today 2024-03-05), pages 1 to 50 of one cell in turn.
local page = 0

request = function()
    page = page % 50 + 1
    return wrk.format("GET", "/deleteddomain.php?date=2011-03-05&t=inter&page=" .. page ..
                             "&tld=.com&length=7")
end
