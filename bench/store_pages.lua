-- SPDX-License-Identifier: GPL-3.0-or-later
-- wrk: lumo-sites serving a store of 20 days x 50,000 names (bench_store fill, --today
-- 2026-12-07): each request a day summary or a list page, over 20 days, 2 suffixes, 5 lengths
-- and 5 pages, so that most pages are not the one asked for just before.
local n = 0

local function day(d)
    return os.date("!%Y-%m-%d", os.time({year = 2026, month = 12, day = 9, hour = 12}) - d * 86400)
end

request = function()
    n = n + 1
    local d = n % 20
    if n % 10 == 0 then
        return wrk.format("GET", "/deleteddate.php?date=" .. day(d))
    end
    local length = 3 + math.floor(n / 20) % 5
    local page = 1 + math.floor(n / 100) % 5
    local tld = (math.floor(n / 500) % 2 == 0) and ".cn" or ".com.cn"
    return wrk.format("GET", "/deleteddomain.php?date=" .. day(d) .. "&t=cn&page=" .. page ..
                             "&tld=" .. tld .. "&length=" .. length)
end
