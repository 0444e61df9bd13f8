#include "cli/xml_source.h"

#include <libxml/xmlreader.h>

#include <cstring>
#include <memory>

#include "cli/dates.h"

namespace kestrin::cli {
namespace {

constexpr const char* kAtomNamespace = "http://www.w3.org/2005/Atom";

const char* Chars(const xmlChar* text) { return text != nullptr ? reinterpret_cast<const char*>(text) : ""; }

bool Is(const xmlChar* name, const char* wanted) { return name != nullptr && std::strcmp(Chars(name), wanted) == 0; }

std::string Trim(std::string text) {
  const auto last = text.find_last_not_of(" \t\r\n");
  if (last == std::string::npos) return {};
  text.erase(last + 1);
  text.erase(0, text.find_first_not_of(" \t\r\n"));
  return text;
}

struct ReaderDeleter {
  void operator()(xmlTextReaderPtr reader) const { xmlFreeTextReader(reader); }
};

// Keeps the first error libxml2 reports instead of letting it print to standard error.
void KeepFirstError(void* arg, const char* message, xmlParserSeverities severity, xmlTextReaderLocatorPtr locator) {
  if (severity != XML_PARSER_SEVERITY_ERROR && severity != XML_PARSER_SEVERITY_VALIDITY_ERROR) return;
  auto* error = static_cast<std::string*>(arg);
  if (!error->empty()) return;
  *error = "line " + std::to_string(xmlTextReaderLocatorLineNumber(locator)) + ": " + Trim(message);
}

XmlKind KindOfRoot(const xmlChar* name, const xmlChar* namespaceUri) {
  if (Is(name, "urlset")) return XmlKind::kUrlSet;
  if (Is(name, "sitemapindex")) return XmlKind::kSitemapIndex;
  if (Is(name, "rss")) return XmlKind::kRss;
  if (Is(name, "feed") && Is(namespaceUri, kAtomNamespace)) return XmlKind::kAtom;
  return XmlKind::kOther;
}

// The element that holds one listed address in each kind, and the child that gives its day.
const char* EntryName(XmlKind kind) {
  switch (kind) {
    case XmlKind::kUrlSet: return "url";
    case XmlKind::kSitemapIndex: return "sitemap";
    case XmlKind::kRss: return "item";
    case XmlKind::kAtom: return "entry";
    case XmlKind::kOther: break;
  }
  return "";
}

// The names compared on every element, interned once in the reader's dictionary: the names the
// reader hands over come from the same dictionary, so comparing pointers tells them apart.
struct Names {
  Names(xmlTextReaderPtr reader, XmlKind kind)
      : entry(Intern(reader, EntryName(kind))), loc(Intern(reader, "loc")), lastmod(Intern(reader, "lastmod")),
        link(Intern(reader, "link")), pubDate(Intern(reader, "pubDate")), guid(Intern(reader, "guid")),
        updated(Intern(reader, "updated")), published(Intern(reader, "published")),
        atom(Intern(reader, kAtomNamespace)) {}

  static const xmlChar* Intern(xmlTextReaderPtr reader, const char* name) {
    return xmlTextReaderConstString(reader, BAD_CAST name);
  }

  const xmlChar* entry;
  const xmlChar* loc;
  const xmlChar* lastmod;
  const xmlChar* link;
  const xmlChar* pubDate;
  const xmlChar* guid;
  const xmlChar* updated;
  const xmlChar* published;
  const xmlChar* atom;
};

// What is being read inside the current entry.
enum class Field { kNone, kAddress, kGuid, kDay, kPublished };

struct Entry {
  std::string address;
  std::string guid;  // an RSS item's permalink, for items without a link
  std::string day;
  std::string published;  // Atom's published, when an entry has no updated
  bool guidIsLink = true;

  // Empty again, keeping what the strings have room for.
  void Clear() {
    address.clear();
    guid.clear();
    day.clear();
    published.clear();
    guidIsLink = true;
  }
};

class DocumentReader {
 public:
  DocumentReader(XmlDocument& out, bool days) : out_(out), days_(days) {}

  // Handles the node the reader stands on; false to stop reading.
  bool Visit(xmlTextReaderPtr reader) {
    const int type = xmlTextReaderNodeType(reader);
    if (type == XML_READER_TYPE_ELEMENT) return Element(reader, xmlTextReaderDepth(reader));
    if (type == XML_READER_TYPE_END_ELEMENT) return EndElement(xmlTextReaderDepth(reader));
    if (field_ != Field::kNone &&
        (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
         type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE || type == XML_READER_TYPE_WHITESPACE)) {
      Target().append(Chars(xmlTextReaderConstValue(reader)));
    }
    return true;
  }

 private:
  std::string& Target() {
    switch (field_) {
      case Field::kGuid: return entry_.guid;
      case Field::kDay: return entry_.day;
      case Field::kPublished: return entry_.published;
      default: return entry_.address;
    }
  }

  bool Element(xmlTextReaderPtr reader, int depth) {
    const xmlChar* name = xmlTextReaderConstLocalName(reader);
    const bool empty = xmlTextReaderIsEmptyElement(reader) == 1;
    if (depth == 0) {
      out_.kind = KindOfRoot(name, xmlTextReaderConstNamespaceUri(reader));
      // An RSS channel sits between the root and its items.
      entryDepth_ = out_.kind == XmlKind::kRss ? 2 : 1;
      names_.emplace(reader, out_.kind);
      return true;
    }
    if (out_.kind == XmlKind::kOther) return true;
    const Names& names = *names_;
    if (depth == entryDepth_) {
      inEntry_ = name == names.entry;
      entry_.Clear();
      if (inEntry_ && empty) inEntry_ = false;
      return true;
    }
    if (!inEntry_ || depth != entryDepth_ + 1 || (empty && out_.kind != XmlKind::kAtom)) return true;
    // Only children in the document's own namespace count: an image sitemap's image:loc or an
    // RSS item's atom:link is not the page's address.
    // (A sitemap's own children are told apart by name and depth alone.)
    if (out_.kind == XmlKind::kAtom || out_.kind == XmlKind::kRss) {
      const xmlChar* ns = xmlTextReaderConstNamespaceUri(reader);
      if (out_.kind == XmlKind::kAtom ? ns != names.atom : ns != nullptr) return true;
    }
    field_ = Field::kNone;
    switch (out_.kind) {
      case XmlKind::kUrlSet:
      case XmlKind::kSitemapIndex:
        if (name == names.loc) field_ = Field::kAddress;
        if (name == names.lastmod) field_ = Field::kDay;
        break;
      case XmlKind::kRss:
        if (name == names.link) field_ = Field::kAddress;
        if (name == names.pubDate) field_ = Field::kDay;
        if (name == names.guid) {
          field_ = Field::kGuid;
          xmlChar* permalink = xmlTextReaderGetAttribute(reader, BAD_CAST "isPermaLink");
          entry_.guidIsLink = permalink == nullptr || !Is(permalink, "false");
          xmlFree(permalink);
        }
        break;
      case XmlKind::kAtom:
        if (name == names.link) ReadAtomLink(reader);
        if (name == names.updated) field_ = Field::kDay;
        if (name == names.published) field_ = Field::kPublished;
        break;
      case XmlKind::kOther:
        break;
    }
    if (field_ != Field::kNone) Target().clear();
    if (empty) field_ = Field::kNone;
    return true;
  }

  // An entry's page is its link without rel or with rel="alternate"; the first one wins.
  void ReadAtomLink(xmlTextReaderPtr reader) {
    if (!entry_.address.empty()) return;
    xmlChar* rel = xmlTextReaderGetAttribute(reader, BAD_CAST "rel");
    if (rel == nullptr || Is(rel, "alternate")) {
      xmlChar* href = xmlTextReaderGetAttribute(reader, BAD_CAST "href");
      if (href != nullptr) entry_.address = Chars(href);
      xmlFree(href);
    }
    xmlFree(rel);
  }

  bool EndElement(int depth) {
    if (depth == entryDepth_ + 1) field_ = Field::kNone;
    if (depth != entryDepth_ || !inEntry_) return true;
    inEntry_ = false;
    std::string address = Trim(std::move(entry_.address));
    if (address.empty() && out_.kind == XmlKind::kRss && entry_.guidIsLink) address = Trim(entry_.guid);
    if (address.empty()) return true;
    if (out_.addresses.size() == kMaxAddressesPerFile) {
      out_.error = "more than " + std::to_string(kMaxAddressesPerFile) + " entries in one file";
      return false;
    }
    std::optional<int> day;
    if (days_) {
      day = EntryDay(entry_.day);
      if (!day && out_.kind == XmlKind::kAtom) day = EntryDay(entry_.published);
    }
    out_.addresses.push_back({std::move(address), day});
    return true;
  }

  XmlDocument& out_;
  bool days_;
  std::optional<Names> names_;
  int entryDepth_ = 1;
  bool inEntry_ = false;
  Field field_ = Field::kNone;
  Entry entry_;
};

// Blank text between elements is of no use here, and skipping it halves the nodes the reader
// hands over.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_COMPACT | XML_PARSE_NOBLANKS;

XmlDocument ReadWith(xmlTextReaderPtr made, bool days) {
  XmlDocument out;
  const std::unique_ptr<xmlTextReader, ReaderDeleter> reader(made);
  if (!reader) {
    out.error = "cannot be read as XML";
    return out;
  }
  std::string parseError;
  xmlTextReaderSetErrorHandler(reader.get(), &KeepFirstError, &parseError);
  DocumentReader visitor(out, days);
  int status = 0;
  while ((status = xmlTextReaderRead(reader.get())) == 1) {
    if (!visitor.Visit(reader.get())) break;
  }
  if (out.error.empty() && status < 0) {
    out.error = "not well-formed XML" + (parseError.empty() ? std::string() : " (" + parseError + ")");
  }
  if (!out.error.empty()) out.addresses.clear();
  return out;
}

int ReadInput(void* context, char* buffer, int size) { return (*static_cast<const XmlInput*>(context))(buffer, size); }

}  // namespace

XmlDocument ReadXmlDocument(const XmlInput& input, bool days) {
  return ReadWith(xmlReaderForIO(&ReadInput, nullptr, const_cast<XmlInput*>(&input), nullptr, nullptr, kParseOptions),
                  days);
}

XmlDocument ReadXmlDocument(std::string_view document) {
  if (document.size() > kMaxFileBytes) {
    XmlDocument out;
    out.error = "larger than 50 MB";
    return out;
  }
  return ReadWith(
      xmlReaderForMemory(document.data(), static_cast<int>(document.size()), nullptr, nullptr, kParseOptions), true);
}

}  // namespace kestrin::cli
