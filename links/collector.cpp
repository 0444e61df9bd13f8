#include "links/collector.h"

#include <cstdint>
#include <vector>

#include "links/resolve_link.h"
#include "links/site_root.h"
#include "runtime/text_ops.h"
#include "web/all_between.h"
#include "web/between.h"
#include "web/encoding.h"
#include "web/page_fetch.h"

namespace kestrin {

std::atomic<int> CollectedTotal{0};

namespace {

// The counter is a signed 32-bit value that wraps like the program's integers, without the
// undefined behaviour of a signed overflow in `previous + 1`.
int RaiseCollectedTotal() {
  const int previous = CollectedTotal.fetch_add(1);
  return static_cast<int>(static_cast<std::uint32_t>(previous) + 1u);
}

// The line for one found address, written over `line`. Addresses are resolved against the page
// they were found on; only when that is impossible does the site root of the pattern box go in
// front.
void WriteLine(Controls& form, const LinkResolver& page, const Text& found, Text& line) {
  // A CR LF inside an href would make two lines of one address.
  if (found.find_first_of("\t\r\n") != Text::npos) {
    WriteLine(form, page, WithoutTabsAndLineBreaks(found), line);
    return;
  }
  line.clear();
  if (!page.AppendResolved(found, line)) {
    if (FindText(found, "http://") != -1) {
      line.assign(found);
    } else {
      line.assign(SiteRootOfListAddress(form.ReadText(names::编辑框1))).append(found);
    }
  }
  line.append("\r\n");
}

void CollectPage(Controls& form, const Text& pageAddress, const Text& progressPrefix, const PageReader& readPage) {
  Text page = readPage ? readPage(pageAddress) : FetchPageText(pageAddress);
  if (!form.ReadState(names::单选框1)) page = Utf8ToGbk(page);

  const Text listStart = form.ReadText(names::编辑框4);
  const Text listEnd = form.ReadText(names::编辑框5);
  page = TextBetween(page, listStart, listEnd);

  const Text addressStart = form.ReadText(names::编辑框6);
  const Text addressEnd = form.ReadText(names::编辑框7);
  const TextArray found = AllTextsBetween(page, addressStart, addressEnd);

  const LinkResolver resolver(pageAddress);
  // The line and the status text are written over for every address: a page of many addresses
  // then costs no allocation for them beyond the first.
  std::vector<Text> lines(1);
  Text status;
  for (const Text& address : found) {
    const int total = RaiseCollectedTotal();
    WriteLine(form, resolver, address, lines.front());
    form.AppendEditText(names::编辑框8, lines);
    status.assign(progressPrefix).append(ToText(total)).append("条数据");
    form.SetStatusPartText(1, status);
  }
}

}  // namespace

void CollectLinks(Controls& form, const PageReader& readPage) {
  if (form.ReadState(names::选择框1)) {
    const int to = ToInteger(form.ReadText(names::编辑框3));
    const int from = ToInteger(form.ReadText(names::编辑框2));
    // 64 bits: the range INT_MIN..INT_MAX holds 2^32 pages, and the page numbers below may
    // leave the 32-bit range when the boxes are edited during the run.
    const std::int64_t count = std::int64_t{to} - from + 1;
    for (std::int64_t i = 1; i <= count; ++i) {
      std::int64_t page = 0;
      if (form.ReadState(names::选择框2)) {
        page = std::int64_t{ToInteger(form.ReadText(names::编辑框3))} + 1 - i;
      } else {
        page = std::int64_t{ToInteger(form.ReadText(names::编辑框2))} + i - 1;
      }
      const Text label = ToText(page);
      const Text address = ReplaceText(form.ReadText(names::编辑框1), "$", label);
      CollectPage(form, address, JoinTexts("正在采集第", label, "页的内容,采集成功"), readPage);
    }
  } else {
    CollectPage(form, form.ReadText(names::编辑框1), "正在采集第1页的内容,采集成功", readPage);
  }
  form.SetStatusPartText(1, JoinTexts("全部采集完成！共采集", ToText(CollectedTotal.load()), "条数据"));
}

}  // namespace kestrin
