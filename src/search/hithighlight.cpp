// SPDX-License-Identifier: GPL-3.0-or-later
// A hit's words in the page: once a hit picked from the list is shown, the browser's find
// highlights the search's first word, and F3 moves on through them.
#include "search/searchpanel.h"

#include "browser/browser.h"
#include "browser/browserpane.h"
#include "view/viewer.h"

void SearchPanel::searchHitShown()
{
    m_highlightPending = !m_hitTexts.isEmpty();
}

void SearchPanel::forgetHitWords()
{
    m_hitTexts.clear();
}

void SearchPanel::searchPageStarting(const QString &url)
{
    // Only the load that begins after the hit was picked shows it: one still finishing
    // from before (the message shown at start-up) must not take the highlight.
    m_highlightArmed = m_highlightPending && m_viewer->isMessagePageUrl(url);
    m_highlightPending = false;
}

void SearchPanel::highlightSearchHit()
{
    if (!m_highlightArmed)
        return;
    m_highlightArmed = false;
    m_hitIndex = 0;
    m_findMatches = 0;
    m_findActive = 0;
    m_web1->findText(m_hitTexts.first());
}

void SearchPanel::FindNextHit()
{
    if (m_hitTexts.isEmpty() || !m_viewer->isMessagePageUrl(m_pane->completedUrl()))
        return;
    // Past the last occurrence of one word (or with none of it in the page) F3 goes on
    // to the next word; the engine's find starts that one from the top.
    if (m_findActive >= m_findMatches) {
        m_hitIndex = (m_hitIndex + 1) % int(m_hitTexts.size());
        m_findMatches = 0;
        m_findActive = 0;
    }
    m_web1->findText(m_hitTexts.at(m_hitIndex));
}

void SearchPanel::web1_FindTextResult(int matches, int active)
{
    m_findMatches = matches;
    m_findActive = active;
}
