#include "sample_hearing.h"

#include <array>
#include <cstdint>

namespace orvane {

namespace {

struct Pair {
    const char* fr;
    const char* en;
};
struct Topic {
    Pair description;
    Pair notes;
};

// What witnesses speak about; %1 is the witness.
const Topic kTopics[] = {
    {{"Identification du témoin", "Witness identification"},
     {"%1 décline son identité, son adresse et son occupation.",
      "%1 states name, address and occupation."}},
    {{"Lien avec les parties", "Relationship to the parties"},
     {"%1 ne connaît pas l'accusé; a déjà croisé la plaignante au travail.",
      "%1 does not know the accused; had met the complainant at work."}},
    {{"Arrivée sur les lieux", "Arrival at the scene"},
     {"Arrivée vers 22 h 10, stationnement du dépanneur, rue Saint-Denis.",
      "Arrived around 10:10 p.m., convenience store parking lot, Saint-Denis Street."}},
    {{"Conditions d'éclairage", "Lighting conditions"},
     {"Lampadaire allumé au coin; pluie fine; visibilité jugée bonne par %1.",
      "Street light on at the corner; light rain; %1 rates visibility as good."}},
    {{"Description du véhicule", "Description of the vehicle"},
     {"Berline grise, quatre portes, plaque partiellement lue : commençant par FJK.",
      "Grey four-door sedan, plate partly read: starting with FJK."}},
    {{"Déroulement de l'altercation", "Course of the altercation"},
     {"Échange verbal d'environ deux minutes, puis bousculade près de l'entrée.",
      "About two minutes of shouting, then pushing near the entrance."}},
    {{"Gestes de l'accusé", "Actions of the accused"},
     {"%1 affirme avoir vu l'accusé pousser la plaignante contre la vitrine.",
      "%1 says the accused pushed the complainant against the window."}},
    {{"Propos entendus", "Words heard"},
     {"Aurait entendu : « Tu vas le regretter ». Ne peut dire qui l'a prononcé.",
      "Heard: \"You will regret this\". Cannot say who said it."}},
    {{"Durée des événements", "Duration of the events"},
     {"Estime l'ensemble à cinq minutes au plus.", "Puts the whole at five minutes at most."}},
    {{"Appel au 911", "The 911 call"},
     {"Appel logé à 22 h 17 selon le registre; %1 confirme sa voix sur l'enregistrement.",
      "Call logged at 10:17 p.m.; %1 confirms the voice on the recording."}},
    {{"Arrivée des policiers", "Police arrival"},
     {"Deux patrouilleurs sur place vers 22 h 25; accusé encore présent.",
      "Two patrol officers on site around 10:25 p.m.; accused still there."}},
    {{"Blessures constatées", "Injuries observed"},
     {"Ecchymose à l'avant-bras gauche, éraflure au front; pas de saignement abondant.",
      "Bruise on the left forearm, scratch on the forehead; no heavy bleeding."}},
    {{"Déclaration sur place", "Statement at the scene"},
     {"Déclaration écrite signée à 23 h 05; %1 la reconnaît.",
      "Written statement signed at 11:05 p.m.; %1 recognises it."}},
    {{"Séquence vidéo", "Video footage"},
     {"Visionnement de la caméra du dépanneur, de 22 h 12 à 22 h 16.",
      "Store camera footage viewed, 10:12 to 10:16 p.m."}},
    {{"Distance d'observation", "Viewing distance"},
     {"Environ 15 mètres; aucun obstacle sauf une pompe à essence.",
      "About 15 metres; nothing in the way except a fuel pump."}},
    {{"Consommation d'alcool", "Alcohol consumption"},
     {"%1 nie toute consommation ce soir-là.", "%1 denies drinking that evening."}},
    {{"Contradictions alléguées", "Alleged contradictions"},
     {"Confronté à sa déclaration : y indiquait 22 h 30 et non 22 h 10.",
      "Put to the statement: it gave 10:30 p.m., not 10:10 p.m."}},
    {{"Fiabilité de la mémoire", "Reliability of memory"},
     {"%1 admet ne pas se souvenir de la couleur du manteau de l'accusé.",
      "%1 concedes not remembering the colour of the accused's coat."}},
    {{"Antécédents de conflit", "Earlier conflicts"},
     {"Dispute antérieure en août, rapportée par ouï-dire seulement.",
      "A dispute in August, known only by hearsay."}},
    {{"Rapport médical", "Medical report"},
     {"Examen à l'urgence le lendemain matin; aucune fracture.",
      "Seen in emergency the next morning; no fracture."}},
    {{"Photographies", "Photographs"},
     {"Six photographies des blessures, prises le 12 mars.",
      "Six photographs of the injuries, taken on March 12."}},
    {{"Chronologie des appels", "Timeline of the calls"},
     {"Relevé téléphonique : trois appels entre 21 h 50 et 22 h 05.",
      "Phone records: three calls between 9:50 and 10:05 p.m."}},
    {{"Départ des lieux", "Leaving the scene"},
     {"%1 quitte les lieux vers 23 h 30, raccompagné par un policier.",
      "%1 left around 11:30 p.m., escorted by an officer."}},
    {{"Précisions demandées par le tribunal", "Points clarified for the court"},
     {"Le tribunal fait préciser la position exacte de chacun devant la vitrine.",
      "The court has the position of each person at the window clarified."}},
};

struct Witness {
    const char* name;
    Pair role;
    Pair calledBy;
};
const Witness kWitnesses[] = {
    {"Marie Tremblay", {"plaignante", "complainant"}, {"la poursuite", "the Crown"}},
    {"Jean-François Roy", {"témoin oculaire", "eyewitness"}, {"la poursuite", "the Crown"}},
    {"Agent Luc Gagnon",
     {"policier patrouilleur", "patrol officer"},
     {"la poursuite", "the Crown"}},
    {"Dre Sophie Bouchard",
     {"médecin urgentiste", "emergency physician"},
     {"la défense", "the defence"}},
};

// A small fixed generator, so that every run shows the same hearing.
struct Lcg {
    std::uint32_t state = 20240315u;
    int next(int bound) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<std::uint32_t>(bound));
    }
};

} // namespace

SampleHearing sampleHearing(Language language, QChar apostrophe) {
    const bool fr = language == Language::French;
    auto t = [fr](const Pair& p) { return QString::fromUtf8(fr ? p.fr : p.en); };
    SampleHearing h;
    h.caseNumber = QStringLiteral("500-01-123456-241");
    h.clerk = fr ? QStringLiteral("Geneviève Morin") : QStringLiteral("Genevieve Morin");
    h.date = fr ? QStringLiteral("15 mars 2024") : QStringLiteral("March 15, 2024");
    h.start = QTime(9, 30, 0);
    h.end = QTime(11, 30, 0);
    h.parties = {{QStringLiteral("mar"), QStringLiteral("Olivier Martel")},
                 {QStringLiteral("cot"),
                  fr ? QStringLiteral("Me Isabelle Côté") : QStringLiteral("Ms. Isabelle Côté")},
                 {QStringLiteral("lef"),
                  fr ? QStringLiteral("Me Marc Lefebvre") : QStringLiteral("Mr. Marc Lefebvre")},
                 {QStringLiteral("lav"), fr ? QStringLiteral("juge Pierre Lavoie")
                                            : QStringLiteral("Judge Pierre Lavoie")},
                 {QStringLiteral("mtr"), QStringLiteral("Marie Tremblay")},
                 {QStringLiteral("jfr"), QStringLiteral("Jean-François Roy")},
                 {QStringLiteral("gag"),
                  fr ? QStringLiteral("l’agent Luc Gagnon") : QStringLiteral("Officer Luc Gagnon")},
                 {QStringLiteral("bou"), fr ? QStringLiteral("Dre Sophie Bouchard")
                                            : QStringLiteral("Dr. Sophie Bouchard")}};

    struct Item {
        QString description, notes;
    };
    std::vector<Item> items;
    auto add = [&](const Pair& d, const Pair& n) { items.push_back({t(d), t(n)}); };
    auto addText = [&](const QString& d, const QString& n) { items.push_back({d, n}); };

    add({"Ouverture de l'audience", "Opening of the hearing"},
        {"Salle 4.12, juge Pierre Lavoie. Enregistrement vérifié, micros 1 à 6 actifs.",
         "Courtroom 4.12, Judge Pierre Lavoie. Recording checked, microphones 1 to 6 live."});
    add({"Appel de la cause", "Case called"},
        {"R. c. Olivier Martel, dossier 500-01-123456-241; procès, jour 2.",
         "R. v. Olivier Martel, file 500-01-123456-241; trial, day 2."});
    add({"Présences - poursuite", "Appearances - Crown"},
        {"Me Isabelle Côté pour le Directeur des poursuites criminelles et pénales.",
         "Ms. Isabelle Côté for the Director of Criminal and Penal Prosecutions."});
    add({"Présences - défense", "Appearances - defence"},
        {"Me Marc Lefebvre pour l'accusé, présent et détenu.",
         "Mr. Marc Lefebvre for the accused, who is present in custody."});
    add({"Interprète assermenté", "Interpreter sworn"},
        {"Interprète espagnol-français assermenté pour le témoin de 10 h.",
         "Spanish-French interpreter sworn for the 10 a.m. witness."});
    add({"Rappel des chefs d'accusation", "Counts read"},
        {"Voies de fait causant des lésions (art. 267) et menaces (art. 264.1).",
         "Assault causing bodily harm (s. 267) and uttering threats (s. 264.1)."});
    add({"Requête en exclusion des témoins", "Motion to exclude witnesses"},
        {"Présentée par la défense; aucune objection de la poursuite.",
         "Made by the defence; the Crown does not object."});
    add({"Décision - exclusion accordée", "Ruling - exclusion granted"},
        {"Les témoins quittent la salle jusqu'à leur appel.",
         "Witnesses leave the courtroom until called."});

    const int topicCount = static_cast<int>(std::size(kTopics));
    int topic = 0;
    int exhibit = 1;
    for (int w = 0; w < 4; ++w) {
        const Witness& wi = kWitnesses[w];
        const QString name = QString::fromUtf8(wi.name);
        if (w == 2) {
            add({"Suspension de l'audience", "Recess"},
                {"Pause de quinze minutes; l'enregistrement continue.",
                 "Fifteen-minute break; the recording keeps running."});
            add({"Reprise de l'audience", "Hearing resumed"},
                {"Toutes les parties présentes; l'accusé est ramené dans le box.",
                 "All parties present; the accused is brought back to the dock."});
        }
        addText((fr ? QStringLiteral("Témoin %1 : %2") : QStringLiteral("Witness %1: %2"))
                    .arg(w + 1)
                    .arg(name)
                    .left(50),
                (fr ? QStringLiteral("%1, %2, citée par %3; affirmation solennelle.")
                    : QStringLiteral("%1, %2, called by %3; solemnly affirmed."))
                    .arg(name, t(wi.role), t(wi.calledBy)));
        add({"Interrogatoire principal", "Examination in chief"},
            {"Mené par l'avocate qui a cité le témoin.",
             "Led by the counsel who called the witness."});
        auto testimony = [&](int n) {
            for (int i = 0; i < n; ++i) {
                const Topic& tp = kTopics[topic++ % topicCount];
                const QString notes = t(tp.notes);
                addText(t(tp.description),
                        notes.contains(QLatin1String("%1")) ? notes.arg(name) : notes);
            }
        };
        testimony(7);
        addText((fr ? QStringLiteral("Pièce P-%1 déposée") : QStringLiteral("Exhibit P-%1 filed"))
                    .arg(exhibit),
                fr ? QStringLiteral("Cotée P-%1, produite de consentement.").arg(exhibit)
                   : QStringLiteral("Marked P-%1, filed by consent.").arg(exhibit));
        ++exhibit;
        testimony(7);
        add({"Objection - ouï-dire", "Objection - hearsay"},
            {"Me Lefebvre s'objecte : le témoin rapporte des propos d'un tiers.",
             "Mr. Lefebvre objects: the witness repeats what a third party said."});
        if (w % 2 == 0)
            add({"Objection accueillie", "Objection sustained"},
                {"Le tribunal ne retient pas la réponse; la question est reformulée.",
                 "The answer is struck; the question is rephrased."});
        else
            add({"Objection rejetée", "Objection overruled"},
                {"Admis pour établir l'état d'esprit du témoin seulement.",
                 "Admitted only to show the witness's state of mind."});
        add({"Contre-interrogatoire", "Cross-examination"},
            {"Mené par la partie adverse.", "Led by the opposing counsel."});
        testimony(8);
        addText((fr ? QStringLiteral("Pièce D-%1 déposée") : QStringLiteral("Exhibit D-%1 filed"))
                    .arg(w + 1),
                fr ? QStringLiteral("Déclaration antérieure du témoin, cotée D-%1.").arg(w + 1)
                   : QStringLiteral("The witness's earlier statement, marked D-%1.").arg(w + 1));
        testimony(2);
        add({"Réinterrogatoire", "Re-examination"},
            {"Deux questions sur l'heure d'arrivée.", "Two questions on the time of arrival."});
        add({"Témoin libéré", "Witness released"},
            {"Libéré de son assignation, avec les remerciements du tribunal.",
             "Released from the subpoena, with the court's thanks."});
    }
    add({"Preuve close - poursuite", "Crown closes its case"},
        {"La poursuite déclare sa preuve close.", "The Crown closes its case."});
    add({"Défense - pas de preuve", "Defence calls no evidence"},
        {"L'accusé choisit de ne pas témoigner; avis donné par le tribunal.",
         "The accused elects not to testify; advised by the court."});
    add({"Plaidoirie - poursuite", "Closing - Crown"},
        {"Insiste sur la concordance des témoignages et la vidéo P-2.",
         "Stresses that the testimonies agree and on the video P-2."});
    add({"Plaidoirie - défense", "Closing - defence"},
        {"Doute raisonnable : contradictions sur l'heure et l'identification.",
         "Reasonable doubt: contradictions on the time and the identification."});
    add({"Réplique", "Reply"},
        {"Courte réplique sur la déclaration D-2.", "Short reply on statement D-2."});
    add({"Questions du tribunal", "Questions from the bench"},
        {"Le juge demande la jurisprudence sur l'identification par un témoin unique.",
         "The judge asks for case law on identification by a single witness."});
    add({"Prise en délibéré", "Judgment reserved"},
        {"Jugement le 19 avril 2024 à 9 h 30, salle 4.12.",
         "Judgment on April 19, 2024 at 9:30 a.m., courtroom 4.12."});

    // Spread over the two hours: even steps with some jitter, strictly increasing, with the
    // recess a quarter of an hour long.
    Lcg rng;
    const int n = static_cast<int>(items.size());
    const int total = h.start.secsTo(h.end) - 15 * 60;
    const int step = total / n;
    int second = 20;
    for (int i = 0; i < n; ++i) {
        const QString& d = items[static_cast<std::size_t>(i)].description;
        SampleAnnotation a;
        a.time = h.start.addSecs(second).toString(QStringLiteral("HH:mm:ss"));
        a.description = d.left(50);
        a.notes = items[static_cast<std::size_t>(i)].notes;
        a.notes.replace(QLatin1Char('\''), apostrophe);
        h.annotations.push_back(a);
        const bool recess = d == t({"Suspension de l'audience", "Recess"});
        second += recess ? 15 * 60 : step / 2 + 1 + rng.next(step);
        if (second > h.start.secsTo(h.end) - (n - i) * 2)
            second = h.start.secsTo(h.end) - (n - i) * 2;
    }
    return h;
}

} // namespace orvane
