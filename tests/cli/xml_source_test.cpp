#include "cli/sources/xml_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/sources/dates.h"

namespace kestrin::cli {
namespace {

// `ascii` as UTF-16 little-endian after its byte-order mark.
std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (const char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

struct DocumentCase {
  const char* name;
  std::string document;
  XmlKind kind;
  std::vector<std::string> addresses;
  std::vector<const char*> days;  // "" for none; empty list: not checked
};

const DocumentCase kDocuments[] = {
    {"url set with lastmod in two forms",
     R"(<?xml version="1.0" encoding="UTF-8"?>
<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">
  <url><loc> https://s.example/a </loc><lastmod>2024-03-01</lastmod></url>
  <url><lastmod>2024-03-02T10:00:00+08:00</lastmod><loc>https://s.example/b</loc></url>
  <url><loc>https://s.example/c</loc></url>
</urlset>)",
     XmlKind::kUrlSet, {"https://s.example/a", "https://s.example/b", "https://s.example/c"},
     {"2024-03-01", "2024-03-02", ""}},
    {"image and alternate links inside a url are not pages",
     R"(<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9"
 xmlns:image="http://www.google.com/schemas/sitemap-image/1.1" xmlns:xhtml="http://www.w3.org/1999/xhtml">
<url><image:image><image:loc>https://s.example/i.png</image:loc></image:image>
<xhtml:link rel="alternate" href="https://s.example/en"/><loc>https://s.example/p</loc></url></urlset>)",
     XmlKind::kUrlSet, {"https://s.example/p"}, {}},
    {"a prefix never declared does not stop the reading",
     "<urlset><url><loc>https://s.example/p1</loc><image:image><image:loc>https://s.example/i.png</image:loc>"
     "</image:image></url><url><loc>https://s.example/p2</loc></url></urlset>",
     XmlKind::kUrlSet, {"https://s.example/p1", "https://s.example/p2"}, {}},
    {"CDATA and an escaped ampersand",
     R"(<urlset><url><loc><![CDATA[https://s.example/?a=1&b=2]]></loc></url>
<url><loc>https://s.example/?c=1&amp;d=2</loc></url></urlset>)",
     XmlKind::kUrlSet, {"https://s.example/?a=1&b=2", "https://s.example/?c=1&d=2"}, {}},
    {"sitemap index",
     R"(<sitemapindex xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">
<sitemap><loc>https://s.example/1.xml</loc></sitemap><sitemap><loc>https://s.example/2.xml.gz</loc></sitemap>
</sitemapindex>)",
     XmlKind::kSitemapIndex, {"https://s.example/1.xml", "https://s.example/2.xml.gz"}, {}},
    {"RSS items: link, else a permalink guid; the channel's own link is not an item",
     R"(<rss version="2.0" xmlns:atom="http://www.w3.org/2005/Atom"><channel><link>https://s.example/</link>
<atom:link href="https://s.example/feed" rel="self"/>
<item><title>A</title><link>https://s.example/a</link><pubDate>Tue, 05 Mar 2024 04:00:00 GMT</pubDate></item>
<item><guid>https://s.example/b</guid><pubDate>6 Mar 2024 01:00 +0800</pubDate></item>
<item><guid isPermaLink="false">tag:1</guid></item>
</channel></rss>)",
     XmlKind::kRss, {"https://s.example/a", "https://s.example/b"}, {"2024-03-05", "2024-03-06"}},
    {"Atom entries: the alternate link; updated, else published",
     R"(<feed xmlns="http://www.w3.org/2005/Atom"><link href="https://s.example/"/>
<entry><link rel="edit" href="https://s.example/edit/1"/><link href="https://s.example/1"/>
<updated>2024-01-02T00:00:00Z</updated></entry>
<entry><link rel="alternate" href="https://s.example/2"/><published>2024-01-03</published></entry>
</feed>)",
     XmlKind::kAtom, {"https://s.example/1", "https://s.example/2"}, {"2024-01-02", "2024-01-03"}},
    {"a GBK-declared document",
     "<?xml version=\"1.0\" encoding=\"GBK\"?><urlset><url><loc>https://s.example/\xD6\xD0</loc></url></urlset>",
     XmlKind::kUrlSet, {"https://s.example/\xE4\xB8\xAD"}, {}},
    {"an HTML page is neither", "<html><body><a href='x'>x</a></body></html>", XmlKind::kOther, {}, {}},
    {"Atom 0.3: its own namespace, modified, else issued",
     R"(<feed version="0.3" xmlns="http://purl.org/atom/ns#"><entry><link rel="alternate" type="text/html"
 href="https://s.example/03/1"/><modified>2004-05-01T00:00:00Z</modified></entry>
<entry><link href="https://s.example/03/2"/><issued>2004-05-02</issued></entry></feed>)",
     XmlKind::kAtom, {"https://s.example/03/1", "https://s.example/03/2"}, {"2004-05-01", "2004-05-02"}},
    {"an Atom 0.3 feed with no entries is an empty feed",
     R"(<feed version="0.3" xmlns="http://purl.org/atom/ns#"><title>t</title></feed>)", XmlKind::kAtom, {}, {}},
    {"an RSS channel with no items is an empty feed", "<rss version=\"2.0\"><channel><title>t</title></channel></rss>",
     XmlKind::kRss, {}, {}},
    {"RSS 1.0: items beside the channel",
     R"(<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns="http://purl.org/rss/1.0/">
<channel><link>https://s.example/</link></channel><item><link>https://s.example/r1</link></item></rdf:RDF>)",
     XmlKind::kRss, {"https://s.example/r1"}, {}},
    {"internal entities are expanded, nested ones too",
     R"(<?xml version="1.0"?><!DOCTYPE urlset [<!ENTITY section "news"><!ENTITY path "&section;/2024">]>
<urlset><url><loc>http://s.example/&section;/1.html</loc></url><url><loc>http://s.example/&path;/2.html</loc></url></urlset>)",
     XmlKind::kUrlSet, {"http://s.example/news/1.html", "http://s.example/news/2024/2.html"}, {}},
    {"UTF-16 with a byte-order mark", Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><urlset><url><loc>"
                                              "https://s.example/u16</loc></url></urlset>"),
     XmlKind::kUrlSet, {"https://s.example/u16"}, {}},
};

// The document handed over `step` bytes at a time, as a stream cuts it: names, entities and
// two-byte characters split between pieces.
XmlDocument Streamed(const std::string& document, std::size_t step) {
  std::size_t at = 0;
  return ReadXmlDocument([&](char* buffer, int size) {
    const std::size_t count = std::min({step, static_cast<std::size_t>(size), document.size() - at});
    document.copy(buffer, count, at);
    at += count;
    return static_cast<int>(count);
  });
}

TEST(ReadXmlDocument, ReadsEachKindAndItsDaysWholeOrStreamed) {
  for (const DocumentCase& row : kDocuments) {
    for (const std::size_t step : {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
      SCOPED_TRACE(std::string(row.name) + (step == 0 ? ", whole" : ", " + std::to_string(step) + " bytes at a time"));
      const XmlDocument document = step == 0 ? ReadXmlDocument(row.document) : Streamed(row.document, step);
      EXPECT_EQ(document.error, "");
      EXPECT_EQ(document.kind, row.kind);
      std::vector<std::string> addresses;
      for (const ListedAddress& entry : document.addresses) addresses.push_back(entry.address);
      EXPECT_EQ(addresses, row.addresses);
      for (std::size_t i = 0; i < row.days.size() && i < document.addresses.size(); ++i) {
        const auto& day = document.addresses[i].day;
        EXPECT_EQ(day ? DayText(*day) : "", row.days[i]) << i;
      }
    }
  }
}

struct BrokenCase {
  const char* name;
  std::string document;
  const char* error;  // a part of it
  std::vector<std::string> kept;
  bool cutShort;
};

const BrokenCase kBroken[] = {
    {"a tag closed by the wrong name keeps the entries before it",
     "<urlset><url><loc>https://s.example/a</loc></url><url><loc>x</urlset>", "not well-formed",
     {"https://s.example/a"}, false},
    {"cut after an entry: the close tag is missing", "<urlset><url><loc>https://s.example/a</loc></url>\n",
     "cut short", {"https://s.example/a"}, true},
    {"cut inside a loc: the entry half read is not an address",
     "<urlset><url><loc>https://s.example/a</loc></url><url><loc>https://s.example/b", "cut short",
     {"https://s.example/a"}, true},
    {"cut inside a tag", "<urlset><url><loc>https://s.example/a</loc></url><url><lo", "cut short",
     {"https://s.example/a"}, true},
    {"an external entity in a loc refuses that entry, not the others",
     "<?xml version=\"1.0\"?><!DOCTYPE u [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
     "<urlset><url><loc>https://s.example/a</loc></url><url><loc>https://s.example/&x;.html</loc></url></urlset>",
     "external entity", {"https://s.example/a"}, false},
};

TEST(ReadXmlDocument, BrokenDocumentsKeepTheCompleteEntriesBeforeTheBreak) {
  for (const BrokenCase& row : kBroken) {
    for (const std::size_t step : {std::size_t{0}, std::size_t{1}, std::size_t{7}}) {
      SCOPED_TRACE(std::string(row.name) + ", " + std::to_string(step));
      const XmlDocument document = step == 0 ? ReadXmlDocument(row.document) : Streamed(row.document, step);
      EXPECT_NE(document.error.find(row.error), std::string::npos) << document.error;
      EXPECT_EQ(document.error.find("Extra content"), std::string::npos) << document.error;
      EXPECT_EQ(document.cutShort, row.cutShort);
      std::vector<std::string> addresses;
      for (const ListedAddress& entry : document.addresses) addresses.push_back(entry.address);
      EXPECT_EQ(addresses, row.kept);
    }
  }
}

TEST(ReadXmlDocument, MoreEntriesThanAFileMayHoldKeepsTheFirstOnes) {
  std::string many = "<urlset>";
  for (std::size_t i = 0; i <= kMaxAddressesPerFile; ++i) many += "<url><loc>https://s.example/" + std::to_string(i) + "</loc></url>";
  many += "</urlset>";
  const XmlDocument tooMany = ReadXmlDocument(many);
  EXPECT_NE(tooMany.error.find("50000"), std::string::npos) << tooMany.error;
  EXPECT_EQ(tooMany.addresses.size(), kMaxAddressesPerFile);

  // Exactly at the limit is fine.
  const auto cut = many.rfind("<url>");
  const XmlDocument atLimit = ReadXmlDocument(many.substr(0, cut) + "</urlset>");
  EXPECT_EQ(atLimit.error, "");
  EXPECT_EQ(atLimit.addresses.size(), kMaxAddressesPerFile);
}

}  // namespace
}  // namespace kestrin::cli
