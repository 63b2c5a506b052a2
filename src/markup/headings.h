// Headings a link can land on (--html5, --toc): the id a heading's text
// gives, kept unique on its page, the same form for the fragment of an
// internal link, the text a table of contents shows, and the words that
// place or suppress the table.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "markup/markup.h"

namespace tarvo {

// The text of translated HTML as a reader sees it: tags dropped, character
// references decoded, each run of blanks (ASCII white space and no-break
// spaces) as one "_", none at either end. Empty when nothing is left. Of
// text not yet translated (a link's fragment as written) only the tags that
// pass into a page are dropped: the others stay text there.
std::string idOfText(std::string_view html, bool translated = true);

// The id of a heading whose text gives id: id itself the first time, then
// id_2, id_3, ... until it was not used before on the page. Empty stays
// empty (a heading without text gets no id).
std::string uniqueId(HeadingIds& used, std::string id);

// Appends an id as the fragment of an address (after its "#"), with every
// byte that an address cannot carry as it is percent-encoded ("%C3%A9"); a
// "%" that begins an escape stays, as a browser tries the fragment as it is
// before it decodes it.
void appendFragment(std::string& out, std::string_view id);

// The address of an internal link with its fragment, if any, in the form
// idOfText gives a heading and written by appendFragment, so that the link
// lands on the heading.
void appendTargetWithFragment(std::string& out, std::string_view target);

// The translated text without its <a ...> and </a> tags: what a table of
// contents shows of a heading, inside a link of its own.
std::string withoutLinks(std::string_view html);

// The length of the word that places or suppresses the table of contents
// at the start of text ("__TOC__", "__NOTOC__", "__FORCETOC__", in any
// case), and which it is; 0 when none stands there.
std::size_t contentsWordAt(std::string_view text, ContentsWord& word);

}  // namespace tarvo
