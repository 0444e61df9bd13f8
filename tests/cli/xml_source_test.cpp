#include "cli/xml_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/dates.h"

namespace kestrin::cli {
namespace {

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

TEST(ReadXmlDocument, BrokenOrOversizedDocumentsEndInAClearError) {
  const std::string broken = "<urlset><url><loc>https://s.example/a</loc></url><url><loc>x</urlset>";
  const XmlDocument malformed = ReadXmlDocument(broken);
  EXPECT_NE(malformed.error.find("not well-formed"), std::string::npos) << malformed.error;
  EXPECT_TRUE(malformed.addresses.empty());

  std::string many = "<urlset>";
  for (std::size_t i = 0; i <= kMaxAddressesPerFile; ++i) many += "<url><loc>https://s.example/" + std::to_string(i) + "</loc></url>";
  many += "</urlset>";
  const XmlDocument tooMany = ReadXmlDocument(many);
  EXPECT_NE(tooMany.error.find("50000"), std::string::npos) << tooMany.error;
  EXPECT_TRUE(tooMany.addresses.empty());

  // Exactly at the limit is fine.
  const auto cut = many.rfind("<url>");
  const XmlDocument atLimit = ReadXmlDocument(many.substr(0, cut) + "</urlset>");
  EXPECT_EQ(atLimit.error, "");
  EXPECT_EQ(atLimit.addresses.size(), kMaxAddressesPerFile);
}

TEST(ReadXmlDocument, ExternalEntitiesAreNotFetchedOrExpanded) {
  const XmlDocument document = ReadXmlDocument(
      "<?xml version=\"1.0\"?><!DOCTYPE u [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
      "<urlset><url><loc>https://s.example/&x;</loc></url></urlset>");
  for (const ListedAddress& entry : document.addresses) EXPECT_EQ(entry.address.find("root:"), std::string::npos);
}

}  // namespace
}  // namespace kestrin::cli
