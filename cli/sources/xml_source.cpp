#include "cli/sources/xml_source.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "cli/console/messages.h"
#include "cli/sources/dates.h"
#include "cli/sources/text_source.h"

namespace kestrin::cli {
namespace {

constexpr const char* kAtomNamespace = "http://www.w3.org/2005/Atom";
constexpr const char* kAtom03Namespace = "http://purl.org/atom/ns#";
constexpr const char* kRss10Namespace = "http://purl.org/rss/1.0/";
constexpr const char* kRdfNamespace = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

const char* Chars(const xmlChar* text) { return text != nullptr ? reinterpret_cast<const char*>(text) : ""; }

bool Is(const xmlChar* name, const char* wanted) { return name != nullptr && std::strcmp(Chars(name), wanted) == 0; }

std::string Trim(std::string_view text) { return std::string(Trimmed(text)); }

// What the root tells: the kind, the namespace its entries' children are in (nullptr: none, as
// in RSS 2.0; "" any, as sitemaps are told apart by name and depth alone) and how deep entries sit.
struct Root {
  XmlKind kind = XmlKind::kOther;
  const char* ownNamespace = "";
  int entryDepth = 1;
  bool atom03 = false;
};

Root RootOf(const xmlChar* name, const xmlChar* namespaceUri) {
  if (Is(name, "urlset")) return {XmlKind::kUrlSet, "", 1, false};
  if (Is(name, "sitemapindex")) return {XmlKind::kSitemapIndex, "", 1, false};
  // An RSS 2.0 channel sits between the root and its items; RSS 1.0 items are the root's children.
  if (Is(name, "rss")) return {XmlKind::kRss, nullptr, 2, false};
  if (Is(name, "RDF") && Is(namespaceUri, kRdfNamespace)) return {XmlKind::kRss, kRss10Namespace, 1, false};
  if (Is(name, "feed") && Is(namespaceUri, kAtomNamespace)) return {XmlKind::kAtom, kAtomNamespace, 1, false};
  if (Is(name, "feed") && Is(namespaceUri, kAtom03Namespace)) return {XmlKind::kAtom, kAtom03Namespace, 1, true};
  return {};
}

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

// What is being read inside the current entry.
enum class Field { kNone, kAddress, kGuid, kDay, kPublished };

struct Entry {
  std::string address;
  std::string guid;  // an RSS item's permalink, for items without a link
  std::string day;
  std::string published;  // Atom's published (0.3: issued), when an entry has no updated
  bool guidIsLink = true;
  bool external = false;  // a field read used an entity whose text was not read

  // Empty again, keeping what the strings have room for.
  void Clear() {
    address.clear();
    guid.clear();
    day.clear();
    published.clear();
    guidIsLink = true;
    external = false;
  }
};

// The value of attribute `name` (without namespace) of a SAX2 start tag, or empty.
std::string AttributeOf(int count, const xmlChar** attributes, const char* name, bool* found = nullptr) {
  for (int i = 0; i < count; ++i) {
    const xmlChar** at = attributes + 5 * i;  // localname, prefix, URI, value, end
    if (at[2] == nullptr && Is(at[0], name)) {
      if (found != nullptr) *found = true;
      return std::string(reinterpret_cast<const char*>(at[3]), static_cast<std::size_t>(at[4] - at[3]));
    }
  }
  if (found != nullptr) *found = false;
  return {};
}

class SaxReader {
 public:
  SaxReader(const XmlEntrySink& sink, bool days) : sink_(sink), days_(days) {}

  XmlOutcome Run(const XmlInput& input);

 private:
  static SaxReader& Of(void* context) { return *static_cast<SaxReader*>(context); }

  // Names compared on every element, interned in the parser's dictionary: the names it hands
  // over come from there, so comparing pointers tells them apart.
  const xmlChar* Intern(const char* name) const { return xmlDictLookup(context_->dict, BAD_CAST name, -1); }

  void StartElement(const xmlChar* name, const xmlChar* uri, int attributeCount, const xmlChar** attributes);
  void EndElement();
  void Characters(const xmlChar* text, int length) {
    if (field_ != Field::kNone) Target().append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
  }
  void Reference(const xmlChar* name);
  void Error(const xmlError* error);
  void Stop() { xmlStopParser(context_); }

  std::string& Target() {
    switch (field_) {
      case Field::kGuid: return entry_.guid;
      case Field::kDay: return entry_.day;
      case Field::kPublished: return entry_.published;
      default: return entry_.address;
    }
  }

  bool OwnChild(const xmlChar* uri) const {
    if (root_.ownNamespace == nullptr) return uri == nullptr;
    return root_.ownNamespace[0] == '\0' || Is(uri, root_.ownNamespace);
  }

  xmlSAXHandler Handler() const;

  const XmlEntrySink& sink_;
  bool days_;
  xmlParserCtxtPtr context_ = nullptr;
  XmlOutcome out_;
  std::string parseError_;
  Root root_;
  int depth_ = 0;  // elements open
  bool rootOpen_ = false;
  bool rootClosed_ = false;
  bool inEntry_ = false;
  Field field_ = Field::kNone;
  Entry entry_;
  struct {
    const xmlChar* entry;
    const xmlChar* loc;
    const xmlChar* lastmod;
    const xmlChar* link;
    const xmlChar* pubDate;
    const xmlChar* guid;
    const xmlChar* updated;
    const xmlChar* published;
  } names_{};
};

void SaxReader::StartElement(const xmlChar* name, const xmlChar* uri, int attributeCount,
                             const xmlChar** attributes) {
  const int depth = depth_++;
  if (depth == 0) {
    root_ = RootOf(name, uri);
    out_.kind = root_.kind;
    rootOpen_ = true;
    if (root_.kind == XmlKind::kOther) return Stop();
    names_ = {Intern(EntryName(root_.kind)), Intern("loc"),   Intern("lastmod"),
              Intern("link"),                Intern("pubDate"), Intern("guid"),
              Intern(root_.atom03 ? "modified" : "updated"), Intern(root_.atom03 ? "issued" : "published")};
    return;
  }
  if (depth == root_.entryDepth) {
    inEntry_ = name == names_.entry && OwnChild(uri);
    entry_.Clear();
    return;
  }
  if (!inEntry_ || depth != root_.entryDepth + 1) return;
  // Only children in the document's own namespace count: an image sitemap's image:loc or an RSS
  // item's atom:link is not the page's address.
  if (!OwnChild(uri)) return;
  field_ = Field::kNone;
  switch (root_.kind) {
    case XmlKind::kUrlSet:
    case XmlKind::kSitemapIndex:
      if (name == names_.loc) field_ = Field::kAddress;
      if (name == names_.lastmod) field_ = Field::kDay;
      break;
    case XmlKind::kRss:
      if (name == names_.link) field_ = Field::kAddress;
      if (name == names_.pubDate) field_ = Field::kDay;
      if (name == names_.guid) {
        field_ = Field::kGuid;
        bool found = false;
        const std::string permalink = AttributeOf(attributeCount, attributes, "isPermaLink", &found);
        entry_.guidIsLink = !found || permalink != "false";
      }
      break;
    case XmlKind::kAtom:
      // An entry's page is its link without rel or with rel="alternate"; the first one wins.
      if (name == names_.link && entry_.address.empty()) {
        bool hasRel = false;
        const std::string rel = AttributeOf(attributeCount, attributes, "rel", &hasRel);
        if (!hasRel || rel == "alternate") entry_.address = AttributeOf(attributeCount, attributes, "href");
      }
      if (name == names_.updated) field_ = Field::kDay;
      if (name == names_.published) field_ = Field::kPublished;
      break;
    case XmlKind::kOther:
      break;
  }
  if (field_ != Field::kNone) Target().clear();
}

void SaxReader::EndElement() {
  const int depth = --depth_;
  if (depth == 0) {
    rootClosed_ = true;
    return;
  }
  if (depth == root_.entryDepth + 1) field_ = Field::kNone;
  if (depth != root_.entryDepth || !inEntry_) return;
  inEntry_ = false;
  if (entry_.external) {
    if (out_.error.empty()) {
      out_.error = Tr("an entry that uses an external entity, which is never read, is refused",
                      "条目使用了外部实体（从不读取），已拒绝");
    }
    return;
  }
  std::string address = Trim(entry_.address);
  if (address.empty() && root_.kind == XmlKind::kRss && entry_.guidIsLink) address = Trim(entry_.guid);
  if (address.empty()) return;
  if (out_.entries == kMaxAddressesPerFile) {
    out_.error = Tr("more than " + std::to_string(kMaxAddressesPerFile) + " entries in one file",
                    "一个文件中的条目超过 " + std::to_string(kMaxAddressesPerFile) + " 个");
    return Stop();
  }
  std::optional<int> day;
  if (days_) {
    day = EntryDay(entry_.day);
    if (!day && root_.kind == XmlKind::kAtom) day = EntryDay(entry_.published);
  }
  ++out_.entries;
  sink_(root_.kind, {std::move(address), day});
  entry_.address = std::string();
}

// libxml2 hands an internal entity's text over as characters before it names the entity here; an
// external one is named here alone, its text not read, so the field it sits in is not whole.
void SaxReader::Reference(const xmlChar* name) {
  const xmlEntity* entity = xmlGetDocEntity(context_->myDoc, name);
  const bool internal = entity != nullptr && (entity->etype == XML_INTERNAL_GENERAL_ENTITY ||
                                              entity->etype == XML_INTERNAL_PREDEFINED_ENTITY);
  if (!internal && inEntry_) entry_.external = true;
}

void SaxReader::Error(const xmlError* error) {
  // Only a fatal error stops the parser; namespace errors and the like only go with it.
  if (error == nullptr || error->level != XML_ERR_FATAL || !parseError_.empty()) return;
  parseError_ = "line " + std::to_string(error->line) + ": " + Trim(error->message != nullptr ? error->message : "");
}

xmlSAXHandler SaxReader::Handler() const {
  xmlSAXHandler handler;
  std::memset(&handler, 0, sizeof handler);
  handler.initialized = XML_SAX2_MAGIC;
  // The document type is kept as libxml2 keeps it, for the entities it declares; it is given the
  // parser, as the user data is this reader.
  handler.startDocument = [](void* self) { xmlSAX2StartDocument(Of(self).context_); };
  handler.internalSubset = [](void* self, const xmlChar* name, const xmlChar* externalId, const xmlChar* systemId) {
    xmlSAX2InternalSubset(Of(self).context_, name, externalId, systemId);
  };
  handler.entityDecl = [](void* self, const xmlChar* name, int type, const xmlChar* publicId, const xmlChar* systemId,
                          xmlChar* content) {
    xmlSAX2EntityDecl(Of(self).context_, name, type, publicId, systemId, content);
  };
  handler.getEntity = [](void* self, const xmlChar* name) { return xmlSAX2GetEntity(Of(self).context_, name); };
  handler.getParameterEntity = [](void* self, const xmlChar* name) {
    return xmlSAX2GetParameterEntity(Of(self).context_, name);
  };
  handler.startElementNs = [](void* self, const xmlChar* name, const xmlChar*, const xmlChar* uri, int, const xmlChar**,
                              int attributeCount, int, const xmlChar** attributes) {
    Of(self).StartElement(name, uri, attributeCount, attributes);
  };
  handler.endElementNs = [](void* self, const xmlChar*, const xmlChar*, const xmlChar*) { Of(self).EndElement(); };
  handler.characters = [](void* self, const xmlChar* text, int length) { Of(self).Characters(text, length); };
  handler.cdataBlock = handler.characters;
  handler.reference = [](void* self, const xmlChar* name) { Of(self).Reference(name); };
  handler.serror = [](void* self, xmlErrorPtr error) { Of(self).Error(error); };
  return handler;
}

constexpr int kParseOptions = XML_PARSE_NONET;
constexpr int kChunk = 64 * 1024;

XmlOutcome SaxReader::Run(const XmlInput& input) {
  xmlSAXHandler handler = Handler();
  // The first bytes go in with the parser's making: they show a UTF-16 document's encoding.
  std::unique_ptr<std::array<char, kChunk>> buffer = std::make_unique<std::array<char, kChunk>>();
  int got = 0;
  while (got < 4) {
    const int more = input(buffer->data() + got, kChunk - got);
    if (more <= 0) break;
    got += more;
  }
  if (got < 0) got = 0;
  context_ = xmlCreatePushParserCtxt(&handler, this, buffer->data(), std::min(got, 4), nullptr);
  if (context_ == nullptr) {
    out_.error = Tr("cannot be read as XML", "无法按 XML 读取");
    return out_;
  }
  xmlCtxtUseOptions(context_, kParseOptions);
  bool ended = false;
  bool failed = false;
  // xmlParseChunk's result is the latest error of any level (an undeclared prefix included);
  // the parser itself tells whether it goes on.
  if (got > 4) xmlParseChunk(context_, buffer->data() + 4, got - 4, 0);
  while (!context_->disableSAX && context_->instate != XML_PARSER_EOF) {
    const int more = input(buffer->data(), kChunk);
    if (more < 0) {
      failed = true;
      break;
    }
    ended = more == 0;
    xmlParseChunk(context_, buffer->data(), more, ended ? 1 : 0);
    if (ended) break;
  }
  const bool wellFormed = context_->wellFormed != 0;
  if (context_->myDoc != nullptr) xmlFreeDoc(context_->myDoc);
  context_->myDoc = nullptr;
  xmlFreeParserCtxt(context_);
  context_ = nullptr;

  if (!out_.error.empty() || failed || root_.kind == XmlKind::kOther) return out_;
  if (rootClosed_ && wellFormed) return out_;
  if (ended && rootOpen_ && !rootClosed_) {
    out_.cutShort = true;
    out_.error = Tr("cut short: the file ends before its close tag", "文件不完整：在结束标签之前就结束了");
    return out_;
  }
  out_.error = Tr("not well-formed XML", "XML 格式不正确") + (parseError_.empty() ? std::string() : " (" + parseError_ + ")");
  return out_;
}

}  // namespace

XmlOutcome ReadXml(const XmlInput& input, const XmlEntrySink& sink, bool days) {
  SaxReader reader(sink, days);
  return reader.Run(input);
}

XmlDocument ReadXmlDocument(const XmlInput& input, bool days) {
  XmlDocument out;
  const XmlOutcome outcome =
      ReadXml(input, [&out](XmlKind, ListedAddress&& entry) { out.addresses.push_back(std::move(entry)); }, days);
  out.kind = outcome.kind;
  out.error = outcome.error;
  out.cutShort = outcome.cutShort;
  return out;
}

XmlDocument ReadXmlDocument(std::string_view document) {
  if (document.size() > kMaxFileBytes) {
    XmlDocument out;
    out.error = Tr("larger than 50 MB", "大于 50 MB");
    return out;
  }
  std::size_t at = 0;
  return ReadXmlDocument([&](char* buffer, int size) {
    const std::size_t count = std::min(static_cast<std::size_t>(size), document.size() - at);
    std::memcpy(buffer, document.data() + at, count);
    at += count;
    return static_cast<int>(count);
  });
}

}  // namespace kestrin::cli
