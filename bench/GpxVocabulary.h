// The words, names and kinds that the GPX generator draws from: a pocket query's mix of
// languages and scripts, so that the bytes look like real ones to the splitter and to deflate.
#pragma once

#include <cstdint>
#include <string_view>

namespace voltrane::gpxvocabulary {

// Every text below is ready for XML element content: "&" and "<" already escaped.
inline constexpr std::string_view kNameFirst[] = {
    "Čertův", "Hradní", "Stará", "Zelený", "Schöne", "Alte",  "Große", "Stary",  "Złoty",
    "Wielki", "Μικρό",  "Παλιό", "Malý",   "Veľký",  "Horní", "Weiße", "Ciemny", "Dolní"};
inline constexpr std::string_view kNameSecond[] = {
    "kámen",  "studánka", "mlýn",    "Mühle", "Brücke", "Aussicht", "Wald",
    "młyn",   "źródło",   "las",     "most",  "κάστρο", "λιμάνι",   "γεφύρι",
    "rybník", "kostol",   "Kapelle", "wieża", "Weg",    "hrad"};
inline constexpr std::string_view kWholeNames[] = {
    "Kaffee &amp; Kuchen",  "Gáň - Gány",       "Points géodésiques du Québec",
    "Tom &amp; Jerry",      "Ærø rundt",        "Łódź Kaliska",
    "Περίπατος στην Πλάκα", "Žluťoučký kůň",    "Sereď - kaštieľ",
    "Ostrava &lt;3 Poruba", "Über den Dächern", "Święty Krzyż"};
inline constexpr std::string_view kPeople[] = {
    "csuklin",        "Vyžla_team",     "maatko",
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
inline constexpr TCacheType kCacheTypes[] = {
    {"Traditional Cache", ""}, {"Traditional Cache", ""},  {"Traditional Cache", ""},
    {"Traditional Cache", ""}, {"Multi-cache", ""},        {"Multi-cache", ""},
    {"Unknown Cache", ""},     {"Unknown Cache", ""},      {"Letterbox Hybrid", ""},
    {"Wherigo Cache", ""},     {"Earthcache", "Virtual"},  {"Virtual Cache", "Virtual"},
    {"Event Cache", "Other"},  {"Webcam Cache", "Virtual"}};
inline constexpr std::string_view kContainers[] = {"Micro", "Small",      "Regular", "Large",
                                                   "Other", "Not chosen", "Small",   "Micro"};

struct TAttribute {
  int Id;
  std::string_view Name;
};
inline constexpr TAttribute kAttributes[] = {{1, "Dogs"},
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
inline constexpr TRegion kRegions[] = {
    {"Czech Republic", "Jihomoravský kraj", 49195000, 16608000},
    {"Czech Republic", "Moravskoslezský kraj", 49820000, 18262000},
    {"Germany", "Bayern", 48137000, 11575000},
    {"Germany", "Baden-Württemberg", 48775000, 9182000},
    {"Poland", "Małopolskie", 50061000, 19937000},
    {"Poland", "Dolnośląskie", 51107000, 17038000},
    {"Slovakia", "Trnavský kraj", 48377000, 17587000},
    {"Austria", "Niederösterreich", 48203000, 15624000},
    {"Greece", "Κεντρική Μακεδονία", 40640000, 22944000},
    {"Hungary", "Győr-Moson-Sopron", 47687000, 17650000}};

inline constexpr std::string_view kWords[] = {
    "the",    "cache",       "is",     "hidden",    "near",     "old",     "tree",     "behind",
    "wall",   "keška",       "ukrytá", "pod",       "kamenem",  "u",       "cesty",    "Dose",
    "liegt",  "hinter",      "dem",    "Zaun",      "skrzynka", "jest",    "przy",     "drodze",
    "η",      "κρύπτη",      "είναι",  "κοντά",     "στο",      "δέντρο",  "prosím",   "vraťte",
    "Bitte",  "unauffällig", "suchen", "dziękuję",  "za",       "skrytkę", "Ďakujeme", "nádherný",
    "výhľad", "Größe",       "Straße", "Wegweiser", "żółw",     "źdźbło",  "château",  "église",
    "path",   "bridge",      "river",  "view",      "stones",   "forest",  "chapel",   "mill"};
// Made-up words from these give listings and logs the vocabulary of real text, so that
// deflate sees what it sees in a real pocket query rather than a few repeated words.
inline constexpr std::string_view kSyllables[] = {
    "ka",  "ze", "mí", "lo", "ště", "řa", "pro", "no", "wa", "rz", "ść", "ge", "ber", "lich",
    "ung", "το", "να", "κα", "ρο",  "de", "ar",  "ti", "on", "ří", "ła", "ją", "ver", "schl",
    "ä",   "ö",  "ü",  "ny", "ko",  "vé", "ma",  "ta", "ri", "ες", "ου", "si", "zé",  "ch",
    "tr",  "st", "ol", "ie", "ei",  "au", "ck",  "ně", "ův", "ży", "dź", "λι", "μα",  "σ"};
// Escaped HTML bits of listing texts, as pocket queries carry them.
inline constexpr std::string_view kMarkup[] = {"&amp;nbsp;",
                                               "&amp;amp;",
                                               "&amp;aacute;",
                                               "&amp;ocirc;",
                                               "&lt;br /&gt;",
                                               "&lt;strong&gt;pozor&lt;/strong&gt;",
                                               "&lt;em&gt;Achtung&lt;/em&gt;",
                                               "&amp;quot;"};
inline constexpr std::string_view kLogWords[] = {
    "TFTC", "Díky za keš.", "Danke fürs Verstecken!", "Dzięki!", "Ευχαριστώ!",
    ":)",   "&lt;3",        "Tom &amp; Jerry",        "#453",    "Vďaka za kešku."};
inline constexpr std::string_view kLogTypes[] = {
    "Found it",   "Found it",       "Found it",          "Found it",          "Found it",
    "Write note", "Didn't find it", "Owner Maintenance", "Needs Maintenance", "Found it"};
inline constexpr std::string_view kHints[] = {"pod kamenem",  "magnetisch",
                                              "w dziupli",    "στη ρίζα",
                                              "Vnútri/benne", "hinter dem Zaun &amp; links",
                                              "1,5 m",        "Baumstumpf"};

struct TChildKind {
  std::string_view Prefix, Sym, Description;
};
inline constexpr TChildKind kChildKinds[] = {
    {"PK", "Parking Area", "Parkplatz"},         {"S1", "Stages of a Multicache", "Stage 1"},
    {"S2", "Stages of a Multicache", "Stage 2"}, {"FN", "Final Location", "Final"},
    {"RP", "Reference Point", "Reference"},      {"TR", "Trailhead", "Trailhead"},
    {"QA", "Question to Answer", "Otázka"}};

}  // namespace voltrane::gpxvocabulary
