// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for the Jet reader where no real Access file with a table "veltra" can be had:
// whatever file it is given, it answers with the rows below, in the reader's frames.
#include "convert/jetframe.h"

#include <cstdio>
#include <string>

namespace {

void frame(char type, const std::string &payload)
{
    std::string out(1, type);
    for (int i = 0; i < 4; ++i)
        out.push_back(char((payload.size() >> (8 * i)) & 0xff));
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(payload.data(), 1, payload.size(), stdout);
}

std::string value(const std::string &text)
{
    std::string out;
    for (int i = 0; i < 4; ++i)
        out.push_back(char((text.size() >> (8 * i)) & 0xff));
    return out + text;
}

}

int main(int argc, char **)
{
    if (argc != 8)
        return 2;
    frame(JetFrame::Info, "version 4\nrows 3\n");
    const char *rows[][5] = {
        {"1", "Jürgen Weiß &lt;jweiss@example.net&gt;", "Mon Mar 5, 2003 1:05 am", "[vclub] Größe", "<tt>Öl und Kühler"},
        {"2", "veltra_nut", "Tue Mar 6, 2003 2:10 pm", "[vclub] Re: Größe", "<tt>line one\r\nline two"},
        {"3", "", "", "", ""},
    };
    for (const auto &row : rows) {
        std::string payload;
        for (const char *text : row)
            payload += value(text);
        frame(JetFrame::Row, payload);
    }
    frame(JetFrame::End, {});
    return 0;
}
