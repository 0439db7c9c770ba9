#include "bench/GpxGenerator.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>

namespace voltrane {

namespace {

// Every text below is ready for XML element content: "&" and "<" already escaped.
constexpr std::string_view kNameFirst[] = {
    "Čertův", "Hradní", "Stará", "Zelený", "Schöne", "Alte",  "Große", "Stary",  "Złoty",
    "Wielki", "Μικρό",  "Παλιό", "Malý",   "Veľký",  "Horní", "Weiße", "Ciemny", "Dolní"};
constexpr std::string_view kNameSecond[] = {"kámen",    "studánka", "mlýn",   "Mühle",  "Brücke",
                                            "Aussicht", "Wald",     "młyn",   "źródło", "las",
                                            "most",     "κάστρο",   "λιμάνι", "γεφύρι", "rybník",
                                            "kostol",   "Kapelle",  "wieża",  "Weg",    "hrad"};
constexpr std::string_view kWholeNames[] = {
    "Kaffee &amp; Kuchen",  "Gáň - Gány",       "Points géodésiques du Québec",
    "Tom &amp; Jerry",      "Ærø rundt",        "Łódź Kaliska",
    "Περίπατος στην Πλάκα", "Žluťoučký kůň",    "Sereď - kaštieľ",
    "Ostrava &lt;3 Poruba", "Über den Dächern", "Święty Krzyż"};
constexpr std::string_view kPeople[] = {"csuklin",        "Vyžla_team",     "maatko",
                                        "henrichmit",     "Geo-Müller",     "Łukasz_K",
                                        "Σπύρος",         "Team Žluťoučký", "Pionierka_Tibi64",
                                        "bear &amp; fox", "Jiří N.",        "Grünschnabel",
                                        "Zośka",          "rbw79",          "Sverdrup2",
                                        "Ναυσικά",        "kešeři z Brna",  "Ørjan"};

struct TCacheType {
  std::string_view Name;
  std::string_view Container;  // empty: any physical size
};
// Traditional caches dominate a real query, so they are listed more than once.
constexpr TCacheType kCacheTypes[] = {
    {"Traditional Cache", ""}, {"Traditional Cache", ""},  {"Traditional Cache", ""},
    {"Traditional Cache", ""}, {"Multi-cache", ""},        {"Multi-cache", ""},
    {"Unknown Cache", ""},     {"Unknown Cache", ""},      {"Letterbox Hybrid", ""},
    {"Wherigo Cache", ""},     {"Earthcache", "Virtual"},  {"Virtual Cache", "Virtual"},
    {"Event Cache", "Other"},  {"Webcam Cache", "Virtual"}};
constexpr std::string_view kContainers[] = {"Micro", "Small",      "Regular", "Large",
                                            "Other", "Not chosen", "Small",   "Micro"};

struct TAttribute {
  int Id;
  std::string_view Name;
};
constexpr TAttribute kAttributes[] = {{1, "Dogs"},
                                      {6, "Recommended for kids"},
                                      {8, "Scenic view"},
                                      {13, "Available at all times"},
                                      {14, "Recommended at night"},
                                      {15, "Available during winter"},
                                      {18, "Dangerous Animals"},
                                      {19, "Ticks"},
                                      {24, "Wheelchair accessible"},
                                      {25, "Parking available"},
                                      {32, "Bicycles"},
                                      {38, "Campfires"},
                                      {39, "Thorns"},
                                      {40, "Stealth required"},
                                      {47, "Field puzzle"},
                                      {53, "Park and Grab"},
                                      {64, "Tree Climbing"},
                                      {65, "Front Yard (Private Residence)"}};

struct TRegion {
  std::string_view Country;
  std::string_view State;
  int32_t Lat, Lon;  // centre in millionths of a degree; caches lie within half a degree
};
constexpr TRegion kRegions[] = {{"Czech Republic", "Jihomoravský kraj", 49195000, 16608000},
                                {"Czech Republic", "Moravskoslezský kraj", 49820000, 18262000},
                                {"Germany", "Bayern", 48137000, 11575000},
                                {"Germany", "Baden-Württemberg", 48775000, 9182000},
                                {"Poland", "Małopolskie", 50061000, 19937000},
                                {"Poland", "Dolnośląskie", 51107000, 17038000},
                                {"Slovakia", "Trnavský kraj", 48377000, 17587000},
                                {"Austria", "Niederösterreich", 48203000, 15624000},
                                {"Greece", "Κεντρική Μακεδονία", 40640000, 22944000},
                                {"Hungary", "Győr-Moson-Sopron", 47687000, 17650000}};

constexpr std::string_view kWords[] = {
    "the",    "cache",       "is",     "hidden",    "near",     "old",     "tree",     "behind",
    "wall",   "keška",       "ukrytá", "pod",       "kamenem",  "u",       "cesty",    "Dose",
    "liegt",  "hinter",      "dem",    "Zaun",      "skrzynka", "jest",    "przy",     "drodze",
    "η",      "κρύπτη",      "είναι",  "κοντά",     "στο",      "δέντρο",  "prosím",   "vraťte",
    "Bitte",  "unauffällig", "suchen", "dziękuję",  "za",       "skrytkę", "Ďakujeme", "nádherný",
    "výhľad", "Größe",       "Straße", "Wegweiser", "żółw",     "źdźbło",  "château",  "église",
    "path",   "bridge",      "river",  "view",      "stones",   "forest",  "chapel",   "mill"};
// Made-up words from these give listings and logs the vocabulary of real text, so that
// deflate sees what it sees in a real pocket query rather than a few repeated words.
constexpr std::string_view kSyllables[] = {
    "ka",  "ze", "mí", "lo", "ště", "řa", "pro", "no", "wa", "rz", "ść", "ge", "ber", "lich",
    "ung", "το", "να", "κα", "ρο",  "de", "ar",  "ti", "on", "ří", "ła", "ją", "ver", "schl",
    "ä",   "ö",  "ü",  "ny", "ko",  "vé", "ma",  "ta", "ri", "ες", "ου", "si", "zé",  "ch",
    "tr",  "st", "ol", "ie", "ei",  "au", "ck",  "ně", "ův", "ży", "dź", "λι", "μα",  "σ"};
// Escaped HTML bits of listing texts, as pocket queries carry them.
constexpr std::string_view kMarkup[] = {"&amp;nbsp;",
                                        "&amp;amp;",
                                        "&amp;aacute;",
                                        "&amp;ocirc;",
                                        "&lt;br /&gt;",
                                        "&lt;strong&gt;pozor&lt;/strong&gt;",
                                        "&lt;em&gt;Achtung&lt;/em&gt;",
                                        "&amp;quot;"};
constexpr std::string_view kLogWords[] = {
    "TFTC", "Díky za keš.", "Danke fürs Verstecken!", "Dzięki!", "Ευχαριστώ!",
    ":)",   "&lt;3",        "Tom &amp; Jerry",        "#453",    "Vďaka za kešku."};
constexpr std::string_view kLogTypes[] = {
    "Found it",   "Found it",       "Found it",          "Found it",          "Found it",
    "Write note", "Didn't find it", "Owner Maintenance", "Needs Maintenance", "Found it"};
constexpr std::string_view kHints[] = {"pod kamenem", "magnetisch",   "w dziupli",
                                       "στη ρίζα",    "Vnútri/benne", "hinter dem Zaun &amp; links",
                                       "1,5 m",       "Baumstumpf"};

struct TChildKind {
  std::string_view Prefix, Sym, Description;
};
constexpr TChildKind kChildKinds[] = {
    {"PK", "Parking Area", "Parkplatz"},         {"S1", "Stages of a Multicache", "Stage 1"},
    {"S2", "Stages of a Multicache", "Stage 2"}, {"FN", "Final Location", "Final"},
    {"RP", "Reference Point", "Reference"},      {"TR", "Trailhead", "Trailhead"},
    {"QA", "Question to Answer", "Otázka"}};

template <size_t N>
constexpr std::string_view Pick(TSplitMix64& random, const std::string_view (&list)[N]) {
  return list[random.Below(N)];
}

template <typename T, size_t N>
constexpr const T& PickItem(TSplitMix64& random, const T (&list)[N]) {
  return list[random.Below(N)];
}

void AppendNumber(std::string& text, int64_t value, int width = 0) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (int64_t n = end - digits; n < width; ++n) text += '0';
  text.append(digits, end);
}

// Millionths of a degree as "48.231267" (or "-0.500000").
void AppendDegrees(std::string& text, int64_t millionths) {
  if (millionths < 0) text += '-';
  int64_t magnitude = millionths < 0 ? -millionths : millionths;
  AppendNumber(text, magnitude / 1000000);
  text += '.';
  AppendNumber(text, magnitude % 1000000, 6);
}

// Halves of a star as "1", "1.5", ... "5".
void AppendRating(std::string& text, int halves) {
  AppendNumber(text, halves / 2);
  if (halves % 2) text += ".5";
}

// Seconds since 1970 as "2018-04-04T19:00:00Z" (days to civil date after H. Hinnant).
void AppendTime(std::string& text, int64_t seconds) {
  int64_t days = seconds / 86400, daySecond = seconds % 86400;
  days += 719468;
  int64_t era = days / 146097, dayOfEra = days - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  int64_t year = yearOfEra + era * 400 + (month <= 2);
  AppendNumber(text, year, 4);
  text += '-';
  AppendNumber(text, month, 2);
  text += '-';
  AppendNumber(text, day, 2);
  text += 'T';
  AppendNumber(text, daySecond / 3600, 2);
  text += ':';
  AppendNumber(text, daySecond / 60 % 60, 2);
  text += ':';
  AppendNumber(text, daySecond % 60, 2);
  text += 'Z';
}

void AppendHex(std::string& text, uint64_t value, int digits) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += kHex[(value >> shift) & 15];
}

void AppendGuid(std::string& text, TSplitMix64& random) {
  uint64_t high = random.Next(), low = random.Next();
  AppendHex(text, high >> 32, 8);
  text += '-';
  AppendHex(text, high >> 16, 4);
  text += '-';
  AppendHex(text, high, 4);
  text += '-';
  AppendHex(text, low >> 48, 4);
  text += '-';
  AppendHex(text, low, 12);
}

// Geocaching codes: "GC" and base-31 digits without the easily confused letters.
std::string CacheCode(int64_t serial) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHJKMNPQRTVWXYZ";
  std::string digits;
  for (int64_t n = 0x10000 + serial * 7; n > 0; n /= 31)
    digits.insert(digits.begin(), kDigits[n % 31]);
  return "GC" + digits;
}

constexpr int64_t kFirstPlaced = 978307200;  // 2001-01-01
constexpr int64_t kLastLog = 1735603200;     // 2024-12-31
constexpr int64_t kDay = 86400;

class TGpxWriter {
 public:
  TGpxWriter(TStream& out, const TGpxGeneratorOptions& options)
      : out_(out), options_(options), random_(options.Seed) {
    buffer_.reserve(kFlushBytes + 16384);
  }

  TGpxGeneratorTotals Run() {
    WriteHeader();
    while (totals_.Bytes + int64_t(buffer_.size()) < options_.WaypointBytes) {
      WriteCache();
      // About one waypoint in twenty is a child waypoint of the cache before it.
      if (random_.OneIn(19)) WriteChild();
      Flush(false);
    }
    if (options_.TrackBytes > 0) WriteTrack();
    buffer_ += "</gpx>\r\n";
    Flush(true);
    return totals_;
  }

 private:
  static constexpr size_t kFlushBytes = 1 << 20;

  void Flush(bool all) {
    if (buffer_.size() < kFlushBytes && !all) return;
    out_.WriteBuffer(buffer_.data(), int64_t(buffer_.size()));
    totals_.Bytes += int64_t(buffer_.size());
    buffer_.clear();
  }

  void WriteHeader() {
    std::string& b = buffer_;
    b += "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";
    b += "<gpx xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" version=\"1.0\" "
         "creator=\"Groundspeak Pocket Query\" "
         "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/0 "
         "http://www.topografix.com/GPX/1/0/gpx.xsd http://www.groundspeak.com/cache/1/0/1 "
         "http://www.groundspeak.com/cache/1/0/1/cache.xsd\" "
         "xmlns=\"http://www.topografix.com/GPX/1/0\">\r\n";
    b += "  <name>Benchmark ";
    AppendNumber(b, int64_t(options_.Seed % 100000000), 8);
    b += "</name>\r\n  <desc>Geocache file generated by Groundspeak</desc>\r\n";
    b += "  <author>Groundspeak</author>\r\n  <email>contact@groundspeak.com</email>\r\n";
    b += "  <time>";
    AppendTime(b, kLastLog + 9 * 3600);
    b += "</time>\r\n  <keywords>cache, geocache, groundspeak</keywords>\r\n";
    int64_t minLat = 90000000, maxLat = -90000000, minLon = 180000000, maxLon = -180000000;
    for (const TRegion& region : kRegions) {
      minLat = std::min<int64_t>(minLat, region.Lat - 500000);
      maxLat = std::max<int64_t>(maxLat, region.Lat + 500000);
      minLon = std::min<int64_t>(minLon, region.Lon - 500000);
      maxLon = std::max<int64_t>(maxLon, region.Lon + 500000);
    }
    b += "  <bounds minlat=\"";
    AppendDegrees(b, minLat);
    b += "\" minlon=\"";
    AppendDegrees(b, minLon);
    b += "\" maxlat=\"";
    AppendDegrees(b, maxLat);
    b += "\" maxlon=\"";
    AppendDegrees(b, maxLon);
    b += "\" />\r\n";
  }

  void AppendName(std::string& text) {
    if (random_.OneIn(4)) {
      text += Pick(random_, kWholeNames);
    } else {
      text += Pick(random_, kNameFirst);
      text += ' ';
      text += Pick(random_, kNameSecond);
    }
    if (random_.OneIn(3)) {
      text += " #";
      AppendNumber(text, random_.Between(1, 40));
    }
  }

  // A common word most of the time, else a made-up one.
  void AppendWord(std::string& text) {
    if (random_.Below(10) < 6) {
      text += Pick(random_, kWords);
      return;
    }
    for (int64_t n = random_.Between(2, 4); n > 0; --n) text += Pick(random_, kSyllables);
  }

  void AppendSentence(std::string& text, int words) {
    for (int i = 0; i < words; ++i) {
      if (i) text += ' ';
      AppendWord(text);
    }
    text += '.';
  }

  void AppendLatLon(std::string& text, int64_t lat, int64_t lon) {
    text += "lat=\"";
    AppendDegrees(text, lat);
    text += "\" lon=\"";
    AppendDegrees(text, lon);
    text += '"';
  }

  // The cache's wpt element, its size drawn between the bounds: the parts before and after
  // the long description come first, and the description fills what is left.
  void WriteCache() {
    const int64_t serial = totals_.Caches++;
    code_ = CacheCode(serial);
    const TRegion& region = PickItem(random_, kRegions);
    lat_ = region.Lat + random_.Between(-500000, 500000);
    lon_ = region.Lon + random_.Between(-500000, 500000);
    const TCacheType& type = PickItem(random_, kCacheTypes);
    std::string_view container =
        type.Container.empty() ? Pick(random_, kContainers) : type.Container;
    int difficulty = int(random_.Between(2, 10)), terrain = int(random_.Between(2, 10));
    int64_t placed =
        kFirstPlaced + random_.Between(0, (kLastLog - kFirstPlaced) / kDay - 30) * kDay;
    const int64_t targetBytes = random_.Between(kMinCacheBytes, kMaxCacheBytes - 200);

    name_.clear();
    AppendName(name_);
    owner_ = Pick(random_, kPeople);

    std::string& h = head_;
    h.clear();
    h += "  <wpt ";
    AppendLatLon(h, lat_, lon_);
    h += ">\r\n    <time>";
    AppendTime(h, placed + 8 * 3600);
    h += "</time>\r\n    <name>";
    h += code_;
    h += "</name>\r\n    <desc>";
    h += name_;
    h += " by ";
    h += owner_;
    h += ", ";
    h += type.Name;
    h += " (";
    AppendRating(h, difficulty);
    h += '/';
    AppendRating(h, terrain);
    h += ")</desc>\r\n    <url>http://www.geocaching.com/seek/cache_details.aspx?guid=";
    AppendGuid(h, random_);
    h += "</url>\r\n    <urlname>";
    h += name_;
    h += "</urlname>\r\n    <sym>";
    h += random_.OneIn(8) ? "Geocache Found" : "Geocache";
    h += "</sym>\r\n    <type>Geocache|";
    h += type.Name;
    h += "</type>\r\n    <groundspeak:cache id=\"";
    AppendNumber(h, 1000000 + serial * 3);
    h += "\" available=\"";
    h += random_.OneIn(15) ? "False" : "True";
    h += "\" archived=\"False\" xmlns:groundspeak=\"http://www.groundspeak.com/cache/1/0/1\">\r\n";
    h += "      <groundspeak:name>";
    h += name_;
    h += "</groundspeak:name>\r\n      <groundspeak:placed_by>";
    h += owner_;
    h += "</groundspeak:placed_by>\r\n      <groundspeak:owner id=\"";
    AppendNumber(h, 100000 + int64_t(random_.Below(9000000)));
    h += "\">";
    h += owner_;
    h += "</groundspeak:owner>\r\n      <groundspeak:type>";
    h += type.Name;
    h += "</groundspeak:type>\r\n      <groundspeak:container>";
    h += container;
    h += "</groundspeak:container>\r\n";
    int attributes = int(random_.Below(7));
    if (attributes == 0) {
      h += "      <groundspeak:attributes />\r\n";
    } else {
      h += "      <groundspeak:attributes>\r\n";
      for (int i = 0; i < attributes; ++i) {
        const TAttribute& attribute = PickItem(random_, kAttributes);
        h += "        <groundspeak:attribute id=\"";
        AppendNumber(h, attribute.Id);
        h += "\" inc=\"";
        h += random_.OneIn(4) ? '0' : '1';
        h += "\">";
        h += attribute.Name;
        h += "</groundspeak:attribute>\r\n";
      }
      h += "      </groundspeak:attributes>\r\n";
    }
    h += "      <groundspeak:difficulty>";
    AppendRating(h, difficulty);
    h += "</groundspeak:difficulty>\r\n      <groundspeak:terrain>";
    AppendRating(h, terrain);
    h += "</groundspeak:terrain>\r\n      <groundspeak:country>";
    h += region.Country;
    h += "</groundspeak:country>\r\n      <groundspeak:state>";
    h += region.State;
    h += "</groundspeak:state>\r\n      <groundspeak:short_description html=\"True\">";
    AppendSentence(h, int(random_.Between(3, 20)));
    h += "&lt;br&gt;";
    h += "</groundspeak:short_description>\r\n      <groundspeak:long_description html=\"True\">";

    WriteCacheTail(h.size() + targetBytes / 8, targetBytes, placed);

    std::string& d = description_;
    d.clear();
    // The element leaves out the indentation before "<wpt" and the line end after "</wpt>".
    const int64_t descriptionBytes = targetBytes + 4 - int64_t(h.size() + tail_.size());
    d += "&lt;p&gt;";
    int wordsInParagraph = 0;
    while (int64_t(d.size()) < descriptionBytes) {
      uint32_t roll = random_.Below(80);
      if (roll == 0 && wordsInParagraph > 8) {
        d += "&lt;/p&gt;\r\n\r\n&lt;p&gt;";
        wordsInParagraph = 0;
      } else if (roll == 1) {
        d += "&lt;img alt=\"\" src=\"https://s3.amazonaws.com/gs-geo-images/";
        AppendGuid(d, random_);
        d += ".jpg\" style=\"height:360px; width:640px\" /&gt;";
      } else if (roll < 6) {
        d += Pick(random_, kMarkup);
      } else {
        if (wordsInParagraph++) d += ' ';
        AppendWord(d);
      }
    }
    d += "&lt;/p&gt;";

    buffer_ += head_;
    buffer_ += description_;
    buffer_ += tail_;
  }

  // From the end of the long description to "</wpt>": hint, logs, travel bugs. Logs are
  // added while the cache stays within its target, one at least.
  void WriteCacheTail(size_t headBytes, int64_t targetBytes, int64_t placed) {
    std::string& t = tail_;
    t.clear();
    t += "</groundspeak:long_description>\r\n      <groundspeak:encoded_hints>";
    t += Pick(random_, kHints);
    t += "</groundspeak:encoded_hints>\r\n      <groundspeak:logs>\r\n";
    int logs = int(random_.Between(1, 10));
    int64_t date = kLastLog - random_.Between(0, 400) * kDay;
    for (int i = 0; i < logs; ++i) {
      log_.clear();
      log_ += "        <groundspeak:log id=\"";
      AppendNumber(log_, 750000000 - int64_t(totals_.Caches) * 16 - i);
      log_ += "\">\r\n          <groundspeak:date>";
      date = std::max(placed, date - random_.Between(0, 90) * kDay);
      AppendTime(log_, date + random_.Between(0, 23) * 3600 + random_.Between(0, 59) * 60);
      log_ += "</groundspeak:date>\r\n          <groundspeak:type>";
      log_ += Pick(random_, kLogTypes);
      log_ += "</groundspeak:type>\r\n          <groundspeak:finder id=\"";
      AppendNumber(log_, 100000 + int64_t(random_.Below(9000000)));
      log_ += "\">";
      log_ += Pick(random_, kPeople);
      log_ += "</groundspeak:finder>\r\n          <groundspeak:text encoded=\"False\">";
      int sentences = int(random_.Between(1, 4));
      for (int s = 0; s < sentences; ++s) {
        if (s) log_ += random_.OneIn(3) ? "\r\n" : " ";
        AppendSentence(log_, int(random_.Between(3, 14)));
      }
      log_ += ' ';
      log_ += Pick(random_, kLogWords);
      log_ += "</groundspeak:text>\r\n        </groundspeak:log>\r\n";
      if (i > 0 && int64_t(headBytes + t.size() + log_.size()) > targetBytes - 600) break;
      t += log_;
    }
    t += "      </groundspeak:logs>\r\n";
    if (random_.OneIn(10)) {
      t += "      <groundspeak:travelbugs>\r\n        <groundspeak:travelbug id=\"";
      AppendNumber(t, 2000000 + int64_t(random_.Below(5000000)));
      t += "\" ref=\"TB";
      AppendHex(t, random_.Next(), 5);
      t += "\">\r\n          <groundspeak:name>";
      AppendName(t);
      t += "</groundspeak:name>\r\n        </groundspeak:travelbug>\r\n      "
           "</groundspeak:travelbugs>\r\n";
    } else {
      t += "      <groundspeak:travelbugs />\r\n";
    }
    t += "    </groundspeak:cache>\r\n  </wpt>\r\n";
  }

  // A waypoint of the cache just written, without cache data.
  void WriteChild() {
    ++totals_.ChildWaypoints;
    const TChildKind& kind = PickItem(random_, kChildKinds);
    std::string& b = buffer_;
    b += "  <wpt ";
    AppendLatLon(b, lat_ + random_.Between(-3000, 3000), lon_ + random_.Between(-3000, 3000));
    b += ">\r\n    <time>";
    AppendTime(b, kFirstPlaced + random_.Between(0, 8000) * kDay + 41749);
    b += "</time>\r\n    <name>";
    b += kind.Prefix;
    b.append(code_, 2);
    b += "</name>\r\n    <cmt>";
    AppendSentence(b, int(random_.Between(2, 12)));
    b += "</cmt>\r\n    <desc>";
    b += kind.Description;
    b += "</desc>\r\n    <url>http://www.geocaching.com/seek/wpt.aspx?WID=";
    AppendGuid(b, random_);
    b += "</url>\r\n    <urlname>";
    b += kind.Description;
    b += "</urlname>\r\n    <sym>";
    b += kind.Sym;
    b += "</sym>\r\n    <type>Waypoint|";
    b += kind.Sym;
    b += "</type>\r\n  </wpt>\r\n";
  }

  // A recorded track after the waypoints: bytes that a reader of waypoints skips.
  void WriteTrack() {
    const int64_t start = totals_.Bytes + int64_t(buffer_.size());
    buffer_ += "  <trk>\r\n    <name>Track log</name>\r\n    <trkseg>\r\n";
    int64_t lat = kRegions[0].Lat, lon = kRegions[0].Lon, elevation = 2500, time = kLastLog;
    const std::string_view closing = "    </trkseg>\r\n  </trk>\r\n";
    while (totals_.Bytes + int64_t(buffer_.size() + closing.size()) - start < options_.TrackBytes) {
      ++totals_.TrackPoints;
      lat += random_.Between(-60, 60);
      lon += random_.Between(-60, 60);
      elevation = std::max<int64_t>(0, elevation + random_.Between(-8, 8));
      time += random_.Between(1, 5);
      buffer_ += "      <trkpt ";
      AppendLatLon(buffer_, lat, lon);
      buffer_ += ">\r\n        <ele>";
      AppendNumber(buffer_, elevation / 10);
      buffer_ += '.';
      AppendNumber(buffer_, elevation % 10);
      buffer_ += "</ele>\r\n        <time>";
      AppendTime(buffer_, time);
      buffer_ += "</time>\r\n      </trkpt>\r\n";
      Flush(false);
    }
    buffer_ += closing;
  }

  TStream& out_;
  const TGpxGeneratorOptions options_;
  TSplitMix64 random_;
  TGpxGeneratorTotals totals_;
  std::string buffer_;
  // Parts of the cache being written, kept to reuse their memory.
  std::string head_, description_, tail_, log_, name_, code_;
  std::string_view owner_;
  int64_t lat_ = 0, lon_ = 0;
};

}  // namespace

TGpxGeneratorTotals GenerateGpx(TStream& out, const TGpxGeneratorOptions& options) {
  return TGpxWriter(out, options).Run();
}

}  // namespace voltrane
