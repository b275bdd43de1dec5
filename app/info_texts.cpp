// The three texts of the information dialog, as data: the game rules, the competition
// rules and the text about the portal. Latin-1, every line ending in CR LF (an empty line is
// a CR LF of its own), one paragraph to a line: the dialog's text control wraps them.
#include "app/info_texts.h"

namespace {

// The game rules.
constexpr std::string_view gameRules =
    "Pingel\r\n"
    "\r\n"
    "Den nyfikna pingvinen Pingel vill l\xE4ra sig allt som har med IT att g\xF6ra. "
    "Genom att \xE4ta av orange utbildningspunkter g\xE5r han olika kurser. Hans "
    "\xE4rkefiender \"Fj\xE4rilarna\" g\xF6r allt som st\xE5r i deras makt f\xF6r "
    "att stoppa honom, men n\xE4r han \xE4ter ett vix-piller f\xE5r de klart f\xF6r "
    "sig vem som egentligen h\xE5ller i kopplet. Varje utbildningspunkt ger fem "
    "po\xE4ng och en fj\xE4ril ger hundra po\xE4ng, fast bara n\xE4r de \xE4r "
    "r\xE4"
    "dda (blinkar). Ju fler banor Pingel klarar, desto fler fiender har han "
    "att tampas med.\r\n"
    "\r\n"
    "Du styr pingvinen Pingel med piltangenterna.\r\n"
    "\r\n"
    "Lycka till!\r\n"
    "\r\n";

// The competition rules.
constexpr std::string_view competitionRules =
    "T\xC4VLINGSREGLER\r\n"
    "\r\n"
    "F\xF6r att t\xE4vla m\xE5ste du f\xF6rst bli medlem i spelia. Det blir du "
    "genom att fylla i ett formul\xE4r p\xE5 speliasajten. Som medlem kan du koppla "
    "upp dig n\xE4r du vill och registrera din po\xE4ng. Enklast \xE4r att "
    "registrera den innan du st\xE4nger spelet, eftersom spelet h\xE5ller ditt "
    "b\xE4sta resultat i minnet s\xE5 l\xE4nge det \xE4r ig\xE5ng. Du beh\xF6ver "
    "inte vara uppkopplad medan du spelar, bara n\xE4r du registrerar en highscore.\r\n"
    "\r\n"
    "Varje vecka har du chansen att vinna priser. Det finns tv\xE5 t\xE4vlingar: en "
    "daglig, med priser varje dag under tv\xE5 veckor, och en veckot\xE4vling, med "
    "n\xE5got finare priser till en vinnare i veckan under fyra veckor. Mer om "
    "t\xE4vlingarna och priserna hittar du p\xE5 speliasajten.\r\n"
    "\r\n"
    "I en bonust\xE4vling bel\xF6nas du f\xF6r att v\xE4rva v\xE4nner. N\xE4r en "
    "v\xE4n blir medlem i spelia och anger din e-mailadress som \"tipsare\" f\xE5r "
    "du en po\xE4ng, och de som har flest po\xE4ng n\xE4r hela t\xE4vlingsperioden "
    "\xE4r slut vinner bonuspriser. Po\xE4ngen r\xE4knas bara om v\xE4nnen anger "
    "den e-mailadress som du sj\xE4lv anv\xE4nder i spelia. Enklast v\xE4rvar du "
    "v\xE4nner genom att skicka en utmaning fr\xE5n speliasajten.\r\n"
    "\r\n"
    "Vinnarna utses n\xE4r t\xE4vlingsperioden \xE4r slut, efter den 10 januari "
    "1999. F\xF6r att t\xE4vla om priserna m\xE5ste du vara bosatt i Sverige och "
    "l\xE4mna korrekta uppgifter n\xE4r du registrerar din highscore. Eventuell "
    "skatt p\xE5 vinsten betalas av vinnaren.\r\n";

// About the portal.
constexpr std::string_view aboutPortal =
    "OM spelia\r\n"
    "\r\n"
    "spelia f\xF6renar nytta med n\xF6je. I st\xE4llet f\xF6r vanlig reklam tar vi "
    "vara p\xE5 f\xF6retagens vilja att synas och bjuder spelarna p\xE5 ett "
    "underh\xE5llande spel, helt gratis.\r\n"
    "\r\n"
    "spelia \xE4r en levande kanal d\xE4r nya spel hela tiden dyker upp. Du kan "
    "prenumerera p\xE5 de kommande spelen genom att bli medlem p\xE5 speliasajten. "
    "Medlemskapet \xE4r gratis och du kan s\xE4ga upp det n\xE4r du vill.\r\n"
    "\r\n"
    "F\xF6rutom n\xF6jet finns det priser att vinna. Varje spel har sina egna "
    "t\xE4vlingar, som vinns av de h\xF6gsta registrerade po\xE4ngen, och de som "
    "har v\xE4rvat flest nya medlemmar vinner bonuspriser.\r\n"
    "\r\n"
    "Konceptet spelia kommer fr\xE5n Tallvik, och spelen \xE4r formgivna av "
    "Tallviks egna speldesigners.\r\n"
    "\r\n"
    "Lycka till med spelandet!\r\n";

constexpr std::array<std::string_view, infoTextCount> texts = {gameRules, competitionRules,
                                                               aboutPortal};

} // namespace

std::string_view infoText(std::int32_t selector) {
    if (selector < 0 || selector >= infoTextCount) {
        return texts[0];
    }
    return texts[static_cast<std::size_t>(selector)];
}
