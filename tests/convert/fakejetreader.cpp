// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for the Jet reader where no real Access file with a table "veltra" can be had:
// whatever file it is given, it answers with the rows below, in the reader's frames. A
// file that ends with kNoVeltra has no table "veltra" but the tables listed below; read,
// each of their rows gives every column's own name as its value, so that a test sees
// which column each field came from.
#include "convert/jetframe.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr char kNoVeltra[] = "no table veltra";

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

bool hasNoVeltra(const char *path)
{
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return bytes.size() >= std::strlen(kNoVeltra) && bytes.compare(bytes.size() - std::strlen(kNoVeltra), std::string::npos, kNoVeltra) == 0;
}

void column(JetFrame::ColumnKind kind, const char *name)
{
    frame(JetFrame::Column, std::string(1, char(kind)) + name);
}

int list()
{
    using Kind = JetFrame::ColumnKind;
    frame(JetFrame::Table, "Photos");
    column(Kind::Integer, "PhotoId");
    column(Kind::Binary, "Picture");
    frame(JetFrame::Table, "Posts");
    for (const char *name : {"Sender", "Subject"})
        column(Kind::Text, name);
    column(Kind::Integer, "Id");
    column(Kind::Date, "Sent");
    column(Kind::Memo, "Body");
    column(Kind::Binary, "Attachment");
    frame(JetFrame::End, {});
    return 0;
}

// Two rows of the columns asked for, each value the column's name ("7" for Id).
int namedRows(int count, char **columns)
{
    frame(JetFrame::Info, "version 4\nrows 2\n");
    for (int row = 0; row < 2; ++row) {
        std::string payload;
        for (int i = 0; i < count; ++i)
            payload += value(std::strcmp(columns[i], "Id") == 0 ? std::to_string(7 + row) : std::string(columns[i]));
        frame(JetFrame::Row, payload);
    }
    frame(JetFrame::End, {});
    return 0;
}

}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0)
        return list();
    if (argc < 4)
        return 2;
    if (hasNoVeltra(argv[1])) {
        if (std::strcmp(argv[2], "veltra") == 0) {
            frame(JetFrame::Refusal, std::string(1, char(JetFrame::RefusalCode::NoTable)) + "veltra");
            return 0;
        }
        return namedRows(argc - 3, argv + 3);
    }
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
