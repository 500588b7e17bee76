#include "exercises/BuiltInExercises.h"

#include "exercises/ExerciseCategories.h"
#include "platform/RecordJson.h"

namespace {
struct StepDef {
    Tr title;
    Tr instruction;
    qint64 secs;
};

// Titles that repeat within an exercise are one text, so they stay equal in every language.
constexpr Tr inhale4{.en = "Inhale (4 sec)",
                     .es = "Inhalar (4 s)",
                     .de = "Einatmen (4 Sek.)",
                     .fr = "Inspirer (4 s)",
                     .uk = "Вдих (4 с)",
                     .pl = "Wdech (4 s)"};
constexpr Tr hold7{.en = "Hold (7 sec)",
                   .es = "Retener (7 s)",
                   .de = "Halten (7 Sek.)",
                   .fr = "Retenir (7 s)",
                   .uk = "Затримка (7 с)",
                   .pl = "Zatrzymaj (7 s)"};
constexpr Tr exhale8{.en = "Exhale (8 sec)",
                     .es = "Exhalar (8 s)",
                     .de = "Ausatmen (8 Sek.)",
                     .fr = "Expirer (8 s)",
                     .uk = "Видих (8 с)",
                     .pl = "Wydech (8 s)"};
constexpr Tr hold4{.en = "Hold (4 sec)",
                   .es = "Retener (4 s)",
                   .de = "Halten (4 Sek.)",
                   .fr = "Retenir (4 s)",
                   .uk = "Затримка (4 с)",
                   .pl = "Zatrzymaj (4 s)"};
constexpr Tr exhale4{.en = "Exhale (4 sec)",
                     .es = "Exhalar (4 s)",
                     .de = "Ausatmen (4 Sek.)",
                     .fr = "Expirer (4 s)",
                     .uk = "Видих (4 с)",
                     .pl = "Wydech (4 s)"};
constexpr Tr holdEmpty4{.en = "Hold empty (4 sec)",
                        .es = "Retener vacío (4 s)",
                        .de = "Leer halten (4 Sek.)",
                        .fr = "Retenir à vide (4 s)",
                        .uk = "Затримка без повітря (4 с)",
                        .pl = "Zatrzymaj na pusto (4 s)"};
constexpr Tr firstInhale{.en = "First inhale (nose)",
                         .es = "Primera inhalación (nariz)",
                         .de = "Erstes Einatmen (Nase)",
                         .fr = "Première inspiration (nez)",
                         .uk = "Перший вдих (ніс)",
                         .pl = "Pierwszy wdech (nos)"};
constexpr Tr secondSniff{.en = "Second sniff",
                         .es = "Segunda inhalación corta",
                         .de = "Zweites Schnuppern",
                         .fr = "Deuxième reniflement",
                         .uk = "Другий короткий вдих",
                         .pl = "Drugi krótki wdech"};
constexpr Tr longExhale{.en = "Long exhale",
                        .es = "Exhalar largamente",
                        .de = "Langes Ausatmen",
                        .fr = "Longue expiration",
                        .uk = "Довгий видих",
                        .pl = "Długi wydech"};

const std::vector<StepDef> eyesSteps = {
    {{.en = "Look into the distance",
      .es = "Mira a lo lejos",
      .de = "In die Ferne schauen",
      .fr = "Regardez au loin",
      .uk = "Погляд удалину",
      .pl = "Patrz w dal"},
     {.en = "Find an object 20 feet (6 m) away and focus your gaze on it.",
      .es = "Busca un objeto a 6 m (20 pies) de distancia y fija la mirada en él.",
      .de = "Suche einen Gegenstand in 6 m (20 Fuß) Entfernung und richte den Blick darauf.",
      .fr = "Trouvez un objet à 6 m (20 pieds) et fixez-le du regard.",
      .uk = "Знайдіть предмет на відстані 6 м (20 футів) і зосередьте на ньому погляд.",
      .pl = "Znajdź przedmiot oddalony o 6 m (20 stóp) i skup na nim wzrok."},
     20},
    {{.en = "Blink",
      .es = "Parpadea",
      .de = "Blinzeln",
      .fr = "Clignez des yeux",
      .uk = "Кліпання",
      .pl = "Mrugaj"},
     {.en = "Blink rapidly 10 times to moisten your eyes.",
      .es = "Parpadea rápido 10 veces para humedecer los ojos.",
      .de = "Blinzle 10-mal schnell hintereinander, um die Augen zu befeuchten.",
      .fr = "Clignez rapidement des yeux 10 fois pour les humidifier.",
      .uk = "Швидко кліпніть 10 разів, щоб зволожити очі.",
      .pl = "Szybko mrugnij 10 razy, aby nawilżyć oczy."},
     10},
    {{.en = "Close eyes",
      .es = "Cierra los ojos",
      .de = "Augen schließen",
      .fr = "Fermez les yeux",
      .uk = "Заплющте очі",
      .pl = "Zamknij oczy"},
     {.en = "Close your eyes and relax the muscles around them for a few seconds.",
      .es = "Cierra los ojos y relaja los músculos de alrededor durante unos segundos.",
      .de = "Schließe die Augen und entspanne die Muskeln um sie herum für ein paar Sekunden.",
      .fr = "Fermez les yeux et détendez les muscles autour pendant quelques secondes.",
      .uk = "Заплющте очі й розслабте м'язи навколо них на кілька секунд.",
      .pl = "Zamknij oczy i rozluźnij mięśnie wokół nich na kilka sekund."},
     15},
};

const std::vector<StepDef> neckSteps = {
    {{.en = "Head tilt right",
      .es = "Cabeza a la derecha",
      .de = "Kopf nach rechts neigen",
      .fr = "Tête inclinée à droite",
      .uk = "Нахил голови праворуч",
      .pl = "Skłon głowy w prawo"},
     {.en =
          "Slowly tilt your head toward your right shoulder. Hold. Feel the stretch on the left side of your "
          "neck.",
      .es = "Inclina despacio la cabeza hacia el hombro derecho. Mantén. Siente el estiramiento en el lado "
            "izquierdo del cuello.",
      .de = "Neige den Kopf langsam zur rechten Schulter. Halten. Spüre die Dehnung an der linken Halsseite.",
      .fr =
          "Inclinez lentement la tête vers l'épaule droite. Maintenez. Sentez l'étirement sur le côté gauche "
          "du cou.",
      .uk = "Повільно нахиліть голову до правого плеча. Затримайтеся. Відчуйте розтягнення лівого боку шиї.",
      .pl = "Powoli przechyl głowę w stronę prawego ramienia. Przytrzymaj. Poczuj rozciąganie lewej strony "
            "szyi."},
     20},
    {{.en = "Head tilt left",
      .es = "Cabeza a la izquierda",
      .de = "Kopf nach links neigen",
      .fr = "Tête inclinée à gauche",
      .uk = "Нахил голови ліворуч",
      .pl = "Skłon głowy w lewo"},
     {.en =
          "Slowly tilt your head toward your left shoulder. Hold. Feel the stretch on the right side of your "
          "neck.",
      .es = "Inclina despacio la cabeza hacia el hombro izquierdo. Mantén. Siente el estiramiento en el lado "
            "derecho del cuello.",
      .de = "Neige den Kopf langsam zur linken Schulter. Halten. Spüre die Dehnung an der rechten Halsseite.",
      .fr =
          "Inclinez lentement la tête vers l'épaule gauche. Maintenez. Sentez l'étirement sur le côté droit "
          "du cou.",
      .uk = "Повільно нахиліть голову до лівого плеча. Затримайтеся. Відчуйте розтягнення правого боку шиї.",
      .pl = "Powoli przechyl głowę w stronę lewego ramienia. Przytrzymaj. Poczuj rozciąganie prawej strony "
            "szyi."},
     20},
    {{.en = "Shoulder rolls",
      .es = "Giros de hombros",
      .de = "Schulterkreisen",
      .fr = "Rotations des épaules",
      .uk = "Оберти плечима",
      .pl = "Krążenia ramion"},
     {.en = "Do 5 slow shoulder rolls backward, then 5 forward.",
      .es = "Haz 5 giros lentos de hombros hacia atrás y luego 5 hacia delante.",
      .de = "Kreise die Schultern 5-mal langsam nach hinten, dann 5-mal nach vorn.",
      .fr = "Faites 5 rotations lentes des épaules vers l'arrière, puis 5 vers l'avant.",
      .uk = "Зробіть 5 повільних обертів плечима назад, потім 5 уперед.",
      .pl = "Wykonaj 5 powolnych krążeń ramion do tyłu, potem 5 do przodu."},
     20},
    {{.en = "Reach up",
      .es = "Estírate hacia arriba",
      .de = "Nach oben strecken",
      .fr = "Étirez-vous vers le haut",
      .uk = "Потягніться вгору",
      .pl = "Sięgnij w górę"},
     {.en = "Raise your arms above your head, interlace your fingers, and stretch as high as you can. Deep "
            "breath.",
      .es = "Sube los brazos por encima de la cabeza, entrelaza los dedos y estírate lo más alto que puedas. "
            "Respira hondo.",
      .de = "Hebe die Arme über den Kopf, verschränke die Finger und strecke dich so hoch du kannst. Tief "
            "durchatmen.",
      .fr =
          "Levez les bras au-dessus de la tête, entrelacez les doigts et étirez-vous le plus haut possible. "
          "Respirez profondément.",
      .uk = "Підніміть руки над головою, переплетіть пальці й потягніться якомога вище. Глибокий вдих.",
      .pl = "Unieś ręce nad głowę, spleć palce i wyciągnij się jak najwyżej. Głęboki oddech."},
     15},
};

const std::vector<StepDef> wristSteps = {
    {{.en = "Wrist rotations",
      .es = "Giros de muñecas",
      .de = "Handgelenke kreisen",
      .fr = "Rotations des poignets",
      .uk = "Оберти зап'ястями",
      .pl = "Krążenia nadgarstków"},
     {.en = "Extend your arms forward and slowly rotate your wrists 10 times in each direction.",
      .es = "Extiende los brazos hacia delante y gira despacio las muñecas 10 veces en cada sentido.",
      .de = "Strecke die Arme nach vorn und kreise die Handgelenke langsam 10-mal in jede Richtung.",
      .fr = "Tendez les bras devant vous et tournez lentement les poignets 10 fois dans chaque sens.",
      .uk = "Витягніть руки вперед і повільно обертайте зап'ястями по 10 разів у кожен бік.",
      .pl = "Wyciągnij ręce przed siebie i powoli obracaj nadgarstkami po 10 razy w każdą stronę."},
     20},
    {{.en = "Finger stretch",
      .es = "Estiramiento de dedos",
      .de = "Finger spreizen",
      .fr = "Étirement des doigts",
      .uk = "Розтягування пальців",
      .pl = "Rozciąganie palców"},
     {.en = "Open your palms and spread your fingers as wide as possible. Hold 5 sec, then relax. Repeat 5 "
            "times.",
      .es = "Abre las palmas y separa los dedos todo lo posible. Mantén 5 s y relaja. Repite 5 veces.",
      .de = "Öffne die Handflächen und spreize die Finger so weit wie möglich. 5 Sek. halten, dann lockern. "
            "5-mal wiederholen.",
      .fr = "Ouvrez les paumes et écartez les doigts au maximum. Tenez 5 s, puis relâchez. Répétez 5 fois.",
      .uk = "Розкрийте долоні й розчепірте пальці якомога ширше. Утримуйте 5 с, потім розслабтеся. "
            "Повторіть 5 разів.",
      .pl = "Otwórz dłonie i rozczapierz palce jak najszerzej. Przytrzymaj 5 s, potem rozluźnij. Powtórz 5 "
            "razy."},
     20},
    {{.en = "Fist squeeze",
      .es = "Apretar los puños",
      .de = "Fäuste ballen",
      .fr = "Poings serrés",
      .uk = "Стискання кулаків",
      .pl = "Zaciskanie pięści"},
     {.en = "Slowly clench your fists as tight as you can. Hold 5 sec. Relax. Repeat 5 times.",
      .es = "Cierra despacio los puños con toda la fuerza que puedas. Mantén 5 s. Relaja. Repite 5 veces.",
      .de = "Balle die Fäuste langsam so fest du kannst. 5 Sek. halten. Lockern. 5-mal wiederholen.",
      .fr = "Serrez lentement les poings aussi fort que possible. Tenez 5 s. Relâchez. Répétez 5 fois.",
      .uk = "Повільно стисніть кулаки якомога сильніше. Утримуйте 5 с. Розслабтеся. Повторіть 5 разів.",
      .pl = "Powoli zaciśnij pięści najmocniej, jak potrafisz. Przytrzymaj 5 s. Rozluźnij. Powtórz 5 razy."},
     20},
};

const std::vector<StepDef> backSteps = {
    {{.en = "Cat-cow",
      .es = "Gato-vaca",
      .de = "Katze-Kuh",
      .fr = "Chat-vache",
      .uk = "Кішка-корова",
      .pl = "Kot-krowa"},
     {.en = "Stand straight. Round your back (cat pose), then arch it (cow pose). Repeat smoothly.",
      .es =
          "Ponte recto. Redondea la espalda (postura del gato) y luego arquéala (postura de la vaca). Repite "
          "con suavidad.",
      .de = "Stehe aufrecht. Mache einen runden Rücken (Katze), dann ein Hohlkreuz (Kuh). Fließend "
            "wiederholen.",
      .fr = "Tenez-vous droit. Arrondissez le dos (posture du chat), puis cambrez-le (posture de la vache). "
            "Répétez en douceur.",
      .uk =
          "Станьте рівно. Округліть спину (поза кішки), потім прогніть її (поза корови). Повторюйте плавно.",
      .pl = "Stań prosto. Zaokrąglij plecy (pozycja kota), a potem je wygnij (pozycja krowy). Powtarzaj "
            "płynnie."},
     30},
    {{.en = "Forward bend",
      .es = "Flexión hacia delante",
      .de = "Vorbeuge",
      .fr = "Flexion avant",
      .uk = "Нахил уперед",
      .pl = "Skłon w przód"},
     {.en = "Slowly lean forward trying to touch the floor with your hands. Don't bend your knees sharply. "
            "Breathe.",
      .es =
          "Inclínate despacio hacia delante intentando tocar el suelo con las manos. No dobles las rodillas "
          "bruscamente. Respira.",
      .de = "Beuge dich langsam nach vorn und versuche, mit den Händen den Boden zu berühren. Beuge die Knie "
            "nicht ruckartig. Atme.",
      .fr = "Penchez-vous lentement en avant en essayant de toucher le sol avec les mains. Ne pliez pas "
            "brusquement les genoux. Respirez.",
      .uk = "Повільно нахиліться вперед, намагаючись торкнутися підлоги руками. Не згинайте різко коліна. "
            "Дихайте.",
      .pl = "Powoli pochyl się do przodu, próbując dotknąć podłogi dłońmi. Nie zginaj gwałtownie kolan. "
            "Oddychaj."},
     20},
    {{.en = "Seated twist",
      .es = "Torsión sentado",
      .de = "Drehung im Sitzen",
      .fr = "Torsion assise",
      .uk = "Скручування сидячи",
      .pl = "Skręt na siedząco"},
     {.en = "Sitting in a chair, twist right, holding the backrest. Hold 15 sec. Then twist left.",
      .es = "Sentado en una silla, gira a la derecha sujetando el respaldo. Mantén 15 s. Luego gira a la "
            "izquierda.",
      .de = "Drehe dich auf einem Stuhl sitzend nach rechts und fasse die Lehne. 15 Sek. halten. Dann nach "
            "links drehen.",
      .fr =
          "Assis sur une chaise, tournez-vous à droite en tenant le dossier. Tenez 15 s. Puis tournez-vous à "
          "gauche.",
      .uk =
          "Сидячи на стільці, поверніться праворуч, тримаючись за спинку. Утримуйте 15 с. Потім поверніться "
          "ліворуч.",
      .pl =
          "Siedząc na krześle, skręć się w prawo, trzymając oparcie. Przytrzymaj 15 s. Potem skręć w lewo."},
     30},
};

const std::vector<StepDef> breathSteps = {
    {inhale4,
     {.en = "Close your mouth and quietly inhale through your nose, counting to 4. Focus on your breath.",
      .es =
          "Cierra la boca e inhala en silencio por la nariz contando hasta 4. Concéntrate en tu respiración.",
      .de = "Schließe den Mund und atme leise durch die Nase ein, während du bis 4 zählst. Konzentriere dich "
            "auf deinen Atem.",
      .fr = "Fermez la bouche et inspirez doucement par le nez en comptant jusqu'à 4. Concentrez-vous sur "
            "votre "
            "respiration.",
      .uk = "Закрийте рот і тихо вдихніть носом, рахуючи до 4. Зосередьтеся на диханні.",
      .pl = "Zamknij usta i cicho wdychaj nosem, licząc do 4. Skup się na oddechu."},
     4},
    {hold7,
     {.en = "Hold your breath and mentally count to 7. Relax your shoulders.",
      .es = "Retén la respiración y cuenta mentalmente hasta 7. Relaja los hombros.",
      .de = "Halte den Atem an und zähle in Gedanken bis 7. Entspanne die Schultern.",
      .fr = "Retenez votre souffle et comptez mentalement jusqu'à 7. Relâchez les épaules.",
      .uk = "Затримайте дихання й подумки порахуйте до 7. Розслабте плечі.",
      .pl = "Wstrzymaj oddech i policz w myślach do 7. Rozluźnij ramiona."},
     7},
    {exhale8,
     {.en = "Slowly exhale through your mouth making a 'fff' sound, counting to 8. Fully empty your lungs.",
      .es = "Exhala despacio por la boca haciendo un sonido 'fff' y cuenta hasta 8. Vacía por completo los "
            "pulmones.",
      .de = "Atme langsam mit einem 'fff'-Laut durch den Mund aus und zähle bis 8. Leere die Lunge "
            "vollständig.",
      .fr = "Expirez lentement par la bouche en faisant un son « fff », en comptant jusqu'à 8. Videz "
            "complètement vos poumons.",
      .uk = "Повільно видихніть ротом зі звуком «ффф», рахуючи до 8. Повністю звільніть легені.",
      .pl = "Powoli wydychaj ustami z dźwiękiem 'fff', licząc do 8. Całkowicie opróżnij płuca."},
     8},
    {inhale4,
     {.en = "Again: inhale quietly through your nose, counting to 4.",
      .es = "Otra vez: inhala en silencio por la nariz contando hasta 4.",
      .de = "Noch einmal: leise durch die Nase einatmen und bis 4 zählen.",
      .fr = "À nouveau : inspirez doucement par le nez en comptant jusqu'à 4.",
      .uk = "Знову: тихо вдихніть носом, рахуючи до 4.",
      .pl = "Jeszcze raz: cicho wdychaj nosem, licząc do 4."},
     4},
    {hold7,
     {.en = "Hold your breath for 7 seconds. Feel the calm.",
      .es = "Retén la respiración 7 segundos. Siente la calma.",
      .de = "Halte den Atem 7 Sekunden lang an. Spüre die Ruhe.",
      .fr = "Retenez votre souffle 7 secondes. Ressentez le calme.",
      .uk = "Затримайте дихання на 7 секунд. Відчуйте спокій.",
      .pl = "Wstrzymaj oddech na 7 sekund. Poczuj spokój."},
     7},
    {exhale8,
     {.en = "Exhale through your mouth for 8 seconds. Release all tension.",
      .es = "Exhala por la boca durante 8 segundos. Libera toda la tensión.",
      .de = "Atme 8 Sekunden lang durch den Mund aus. Lass alle Anspannung los.",
      .fr = "Expirez par la bouche pendant 8 secondes. Relâchez toute tension.",
      .uk = "Видихайте ротом 8 секунд. Відпустіть усе напруження.",
      .pl = "Wydychaj ustami przez 8 sekund. Uwolnij całe napięcie."},
     8},
};

const std::vector<StepDef> boxSteps = {
    {inhale4,
     {.en = "Breathe in slowly through your nose for 4 counts. Feel your chest and belly expand.",
      .es = "Inhala despacio por la nariz contando 4. Siente cómo se expanden el pecho y el vientre.",
      .de = "Atme langsam durch die Nase ein und zähle bis 4. Spüre, wie sich Brust und Bauch weiten.",
      .fr = "Inspirez lentement par le nez sur 4 temps. Sentez votre poitrine et votre ventre se gonfler.",
      .uk = "Повільно вдихайте носом на 4 рахунки. Відчуйте, як розширюються груди й живіт.",
      .pl = "Powoli wdychaj nosem, licząc do 4. Poczuj, jak rozszerza się klatka piersiowa i brzuch."},
     4},
    {hold4,
     {.en = "Hold your breath for 4 counts. Keep your body relaxed, shoulders down.",
      .es = "Retén la respiración contando 4. Mantén el cuerpo relajado y los hombros bajos.",
      .de = "Halte den Atem an und zähle bis 4. Bleib locker, die Schultern unten.",
      .fr = "Retenez votre souffle sur 4 temps. Gardez le corps détendu, les épaules basses.",
      .uk = "Затримайте дихання на 4 рахунки. Тіло розслаблене, плечі опущені.",
      .pl = "Wstrzymaj oddech, licząc do 4. Ciało rozluźnione, ramiona opuszczone."},
     4},
    {exhale4,
     {.en = "Exhale slowly through your mouth for 4 counts. Let all the air out.",
      .es = "Exhala despacio por la boca contando 4. Deja salir todo el aire.",
      .de = "Atme langsam durch den Mund aus und zähle bis 4. Lass die ganze Luft heraus.",
      .fr = "Expirez lentement par la bouche sur 4 temps. Laissez sortir tout l'air.",
      .uk = "Повільно видихайте ротом на 4 рахунки. Випустіть усе повітря.",
      .pl = "Powoli wydychaj ustami, licząc do 4. Wypuść całe powietrze."},
     4},
    {holdEmpty4,
     {.en = "Hold your lungs empty for 4 counts before the next breath. This is the base of the box.",
      .es = "Mantén los pulmones vacíos contando 4 antes de la siguiente respiración. Esta es la base de la "
            "caja.",
      .de = "Halte die Lunge leer und zähle bis 4 vor dem nächsten Atemzug. Das ist die Basis des Quadrats.",
      .fr = "Gardez les poumons vides sur 4 temps avant la respiration suivante. C'est la base du carré.",
      .uk = "Залиште легені порожніми на 4 рахунки перед наступним вдихом. Це основа квадрата.",
      .pl = "Utrzymaj puste płuca, licząc do 4, przed kolejnym oddechem. To podstawa kwadratu."},
     4},
    {inhale4,
     {.en = "Inhale again for 4 counts. Notice the calm building with each cycle.",
      .es = "Inhala de nuevo contando 4. Nota cómo crece la calma en cada ciclo.",
      .de = "Atme wieder ein und zähle bis 4. Spüre, wie die Ruhe mit jedem Zyklus wächst.",
      .fr = "Inspirez à nouveau sur 4 temps. Remarquez le calme qui grandit à chaque cycle.",
      .uk = "Знову вдихайте на 4 рахунки. Помітьте, як із кожним циклом зростає спокій.",
      .pl = "Znów wdychaj, licząc do 4. Zauważ, jak z każdym cyklem narasta spokój."},
     4},
    {hold4,
     {.en = "Hold for 4 counts. Used by Navy SEALs to manage stress under pressure.",
      .es = "Mantén contando 4. Los Navy SEAL lo usan para controlar el estrés bajo presión.",
      .de = "Halten und bis 4 zählen. Navy SEALs nutzen das, um Stress unter Druck zu bewältigen.",
      .fr = "Tenez sur 4 temps. Les Navy SEALs l'utilisent pour gérer le stress sous pression.",
      .uk = "Затримайте на 4 рахунки. Так Navy SEALs долають стрес під тиском.",
      .pl = "Przytrzymaj, licząc do 4. Navy SEALs stosują to, by radzić sobie ze stresem pod presją."},
     4},
    {exhale4,
     {.en = "Exhale for 4 counts. Your nervous system is resetting.",
      .es = "Exhala contando 4. Tu sistema nervioso se está restableciendo.",
      .de = "Atme aus und zähle bis 4. Dein Nervensystem setzt sich zurück.",
      .fr = "Expirez sur 4 temps. Votre système nerveux se réinitialise.",
      .uk = "Видихайте на 4 рахунки. Ваша нервова система перезавантажується.",
      .pl = "Wydychaj, licząc do 4. Twój układ nerwowy się resetuje."},
     4},
    {holdEmpty4,
     {.en = "Hold empty for 4 counts. Repeat this box as many times as you need.",
      .es = "Mantén vacío contando 4. Repite esta caja tantas veces como necesites.",
      .de = "Leer halten und bis 4 zählen. Wiederhole das Quadrat so oft du es brauchst.",
      .fr = "Restez à vide sur 4 temps. Répétez ce carré autant de fois que nécessaire.",
      .uk = "Залишайтеся без повітря 4 рахунки. Повторюйте цей квадрат стільки, скільки потрібно.",
      .pl = "Pozostań na pustych płucach, licząc do 4. Powtarzaj ten kwadrat tyle razy, ile potrzebujesz."},
     4},
};

const std::vector<StepDef> bellySteps = {
    {{.en = "Hand placement",
      .es = "Posición de las manos",
      .de = "Handposition",
      .fr = "Position des mains",
      .uk = "Положення рук",
      .pl = "Ułożenie dłoni"},
     {.en = "Place one hand on your chest, one on your belly. Sit or lie comfortably. This is diaphragmatic "
            "breathing.",
      .es = "Pon una mano en el pecho y otra en el vientre. Siéntate o túmbate cómodamente. Esta es la "
            "respiración diafragmática.",
      .de = "Lege eine Hand auf die Brust, die andere auf den Bauch. Sitze oder liege bequem. Das ist "
            "Zwerchfellatmung.",
      .fr = "Posez une main sur la poitrine, l'autre sur le ventre. Asseyez-vous ou allongez-vous "
            "confortablement. C'est la respiration diaphragmatique.",
      .uk = "Покладіть одну руку на груди, іншу на живіт. Сядьте або ляжте зручно. Це діафрагмальне дихання.",
      .pl = "Połóż jedną dłoń na klatce piersiowej, drugą na brzuchu. Usiądź lub połóż się wygodnie. To "
            "oddychanie przeponowe."},
     8},
    {{.en = "Inhale through nose",
      .es = "Inhalar por la nariz",
      .de = "Durch die Nase einatmen",
      .fr = "Inspirer par le nez",
      .uk = "Вдих носом",
      .pl = "Wdech nosem"},
     {.en = "Breathe in slowly through your nose. Your belly should push your hand OUT — chest stays "
            "relatively "
            "still.",
      .es =
          "Inhala despacio por la nariz. El vientre debe empujar la mano HACIA FUERA — el pecho se mantiene "
          "casi quieto.",
      .de =
          "Atme langsam durch die Nase ein. Dein Bauch soll die Hand NACH AUSSEN drücken — die Brust bleibt "
          "fast ruhig.",
      .fr = "Inspirez lentement par le nez. Votre ventre doit pousser votre main VERS L'EXTÉRIEUR — la "
            "poitrine "
            "reste presque immobile.",
      .uk =
          "Повільно вдихайте носом. Живіт має виштовхувати руку НАЗОВНІ — груди лишаються майже нерухомими.",
      .pl = "Powoli wdychaj nosem. Brzuch powinien wypychać dłoń NA ZEWNĄTRZ — klatka piersiowa pozostaje "
            "prawie nieruchoma."},
     5},
    {{.en = "Exhale through mouth",
      .es = "Exhalar por la boca",
      .de = "Durch den Mund ausatmen",
      .fr = "Expirer par la bouche",
      .uk = "Видих ротом",
      .pl = "Wydech ustami"},
     {.en = "Exhale slowly through pursed lips. Feel your belly hand sink back in. Tighten abs gently at the "
            "end.",
      .es =
          "Exhala despacio con los labios fruncidos. Siente cómo baja la mano del vientre. Al final contrae "
          "suavemente el abdomen.",
      .de =
          "Atme langsam durch gespitzte Lippen aus. Spüre, wie die Hand auf dem Bauch zurücksinkt. Spanne am "
          "Ende sanft die Bauchmuskeln an.",
      .fr = "Expirez lentement par les lèvres pincées. Sentez la main sur le ventre redescendre. Contractez "
            "doucement les abdominaux à la fin.",
      .uk =
          "Повільно видихайте крізь стулені губи. Відчуйте, як рука на животі опускається. Наприкінці м'яко "
          "напружте прес.",
      .pl = "Powoli wydychaj przez ściągnięte usta. Poczuj, jak dłoń na brzuchu opada. Na końcu delikatnie "
            "napnij brzuch."},
     6},
    {{.en = "Inhale deeply",
      .es = "Inhalar profundamente",
      .de = "Tief einatmen",
      .fr = "Inspirer profondément",
      .uk = "Глибокий вдих",
      .pl = "Głęboki wdech"},
     {.en = "Inhale again — belly rises. Imagine filling your lungs from the bottom up, like pouring water "
            "into "
            "a glass.",
      .es = "Inhala de nuevo — el vientre sube. Imagina que llenas los pulmones de abajo arriba, como al "
            "verter "
            "agua en un vaso.",
      .de = "Atme wieder ein — der Bauch hebt sich. Stell dir vor, du füllst die Lunge von unten nach oben, "
            "wie "
            "Wasser in einem Glas.",
      .fr =
          "Inspirez à nouveau — le ventre se soulève. Imaginez remplir vos poumons de bas en haut, comme de "
          "l'eau versée dans un verre.",
      .uk = "Знову вдихніть — живіт піднімається. Уявіть, що наповнюєте легені знизу вгору, наче воду в "
            "склянку.",
      .pl = "Znów wdech — brzuch się unosi. Wyobraź sobie, że napełniasz płuca od dołu, jak wodę nalewaną do "
            "szklanki."},
     5},
    {{.en = "Exhale fully",
      .es = "Exhalar por completo",
      .de = "Vollständig ausatmen",
      .fr = "Expirer complètement",
      .uk = "Повний видих",
      .pl = "Pełny wydech"},
     {.en = "Exhale completely, letting the belly fall. This activates the parasympathetic nervous system.",
      .es = "Exhala por completo y deja que el vientre baje. Esto activa el sistema nervioso parasimpático.",
      .de =
          "Atme vollständig aus und lass den Bauch sinken. Das aktiviert das parasympathische Nervensystem.",
      .fr = "Expirez complètement en laissant le ventre redescendre. Cela active le système nerveux "
            "parasympathique.",
      .uk = "Видихніть повністю, дозволяючи животу опуститися. Це активує парасимпатичну нервову систему.",
      .pl = "Wydychaj całkowicie, pozwalając brzuchowi opaść. To aktywuje przywspółczulny układ nerwowy."},
     6},
    {{.en = "Inhale and notice",
      .es = "Inhalar y observar",
      .de = "Einatmen und spüren",
      .fr = "Inspirer et observer",
      .uk = "Вдих і відчуття",
      .pl = "Wdech i obserwacja"},
     {.en = "Take a deep belly breath and notice how your body feels. More relaxed? Less tense?",
      .es =
          "Haz una respiración abdominal profunda y observa cómo se siente tu cuerpo. ¿Más relajado? ¿Menos "
          "tenso?",
      .de =
          "Atme tief in den Bauch und spüre, wie sich dein Körper anfühlt. Entspannter? Weniger angespannt?",
      .fr = "Prenez une profonde respiration ventrale et observez votre corps. Plus détendu ? Moins tendu ?",
      .uk = "Зробіть глибокий вдих животом і прислухайтеся до тіла. Більше розслаблення? Менше напруги?",
      .pl = "Weź głęboki oddech brzuchem i zauważ, jak czuje się twoje ciało. Bardziej rozluźnione? Mniej "
            "spięte?"},
     5},
    {{.en = "Final exhale",
      .es = "Exhalar por última vez",
      .de = "Letztes Ausatmen",
      .fr = "Expiration finale",
      .uk = "Останній видих",
      .pl = "Ostatni wydech"},
     {.en = "One last slow exhale. Let go of any remaining tension. Return to normal breathing when ready.",
      .es =
          "Una última exhalación lenta. Suelta la tensión que quede. Vuelve a respirar con normalidad cuando "
          "quieras.",
      .de = "Ein letztes langsames Ausatmen. Lass jede restliche Anspannung los. Kehre zur normalen Atmung "
            "zurück, wenn du bereit bist.",
      .fr =
          "Une dernière expiration lente. Relâchez toute tension restante. Revenez à une respiration normale "
          "quand vous êtes prêt.",
      .uk = "Останній повільний видих. Відпустіть залишки напруги. Поверніться до звичайного дихання, коли "
            "будете готові.",
      .pl = "Ostatni powolny wydech. Uwolnij resztki napięcia. Wróć do normalnego oddechu, gdy będziesz "
            "gotów."},
     6},
};

const std::vector<StepDef> sighSteps = {
    {firstInhale,
     {.en = "Take a deep breath in through your nose — fill your lungs about 80% of the way.",
      .es = "Inhala profundamente por la nariz — llena los pulmones hasta un 80 %.",
      .de = "Atme tief durch die Nase ein — fülle die Lunge zu etwa 80 %.",
      .fr = "Inspirez profondément par le nez — remplissez vos poumons à environ 80 %.",
      .uk = "Глибоко вдихніть носом — наповніть легені приблизно на 80 %.",
      .pl = "Weź głęboki wdech nosem — napełnij płuca w około 80%."},
     3},
    {{.en = "Second sniff (nose)",
      .es = "Segunda inhalación corta (nariz)",
      .de = "Zweites Schnuppern (Nase)",
      .fr = "Deuxième reniflement (nez)",
      .uk = "Другий короткий вдих (ніс)",
      .pl = "Drugi krótki wdech (nos)"},
     {.en =
          "Take a short extra sniff through your nose to top off your lungs completely. This is the 'double "
          "inhale'.",
      .es = "Haz una inhalación corta extra por la nariz para llenar del todo los pulmones. Es la 'doble "
            "inhalación'.",
      .de = "Schnuppere noch einmal kurz durch die Nase, um die Lunge ganz zu füllen. Das ist das 'doppelte "
            "Einatmen'.",
      .fr = "Reniflez encore brièvement par le nez pour remplir complètement vos poumons. C'est la « double "
            "inspiration ».",
      .uk = "Зробіть ще один короткий вдих носом, щоб повністю наповнити легені. Це «подвійний вдих».",
      .pl = "Weź dodatkowy krótki wdech nosem, aby całkowicie wypełnić płuca. To 'podwójny wdech'."},
     2},
    {{.en = "Long exhale (mouth)",
      .es = "Exhalar largamente (boca)",
      .de = "Langes Ausatmen (Mund)",
      .fr = "Longue expiration (bouche)",
      .uk = "Довгий видих (рот)",
      .pl = "Długi wydech (usta)"},
     {.en =
          "Slowly exhale all the air through your mouth — as long as possible (5–8 sec). This is the 'sigh'.",
      .es = "Exhala despacio todo el aire por la boca — tanto como puedas (5–8 s). Este es el 'suspiro'.",
      .de = "Atme die ganze Luft langsam durch den Mund aus — so lange wie möglich (5–8 Sek.). Das ist das "
            "'Seufzen'.",
      .fr = "Expirez lentement tout l'air par la bouche — aussi longtemps que possible (5–8 s). C'est le « "
            "soupir ».",
      .uk = "Повільно видихніть усе повітря ротом — якомога довше (5–8 с). Це і є «зітхання».",
      .pl = "Powoli wypuść całe powietrze ustami — jak najdłużej (5–8 s). To jest 'westchnienie'."},
     7},
    {firstInhale,
     {.en = "Inhale again through your nose, filling up deeply.",
      .es = "Inhala de nuevo por la nariz, llenándote a fondo.",
      .de = "Atme wieder durch die Nase ein und fülle dich tief.",
      .fr = "Inspirez à nouveau par le nez en vous remplissant profondément.",
      .uk = "Знову вдихніть носом, глибоко наповнюючись.",
      .pl = "Znów wdychaj nosem, głęboko się wypełniając."},
     3},
    {secondSniff,
     {.en = "One more short sniff to fully inflate. Your CO₂ is dropping — calm is coming.",
      .es = "Una inhalación corta más para llenarte del todo. Tu CO₂ baja — llega la calma.",
      .de = "Noch ein kurzes Schnuppern, um dich ganz zu füllen. Dein CO₂ sinkt — die Ruhe kommt.",
      .fr = "Encore un court reniflement pour vous remplir complètement. Votre CO₂ baisse — le calme arrive.",
      .uk = "Ще один короткий вдих, щоб повністю наповнитися. Рівень CO₂ знижується — приходить спокій.",
      .pl = "Jeszcze jeden krótki wdech, by w pełni się napełnić. Twój CO₂ spada — nadchodzi spokój."},
     2},
    {longExhale,
     {.en = "Sigh it all out slowly through your mouth. Stanford research shows this is the fastest way to "
            "reduce stress.",
      .es =
          "Suéltalo todo despacio por la boca en un suspiro. Un estudio de Stanford muestra que es la forma "
          "más rápida de reducir el estrés.",
      .de = "Seufze alles langsam durch den Mund aus. Forschung aus Stanford zeigt: So baust du Stress am "
            "schnellsten ab.",
      .fr = "Soupirez lentement tout l'air par la bouche. Une étude de Stanford montre que c'est le moyen le "
            "plus rapide de réduire le stress.",
      .uk = "Повільно видихніть усе ротом, як зітхання. Дослідження Стенфорда показують, що це найшвидший "
            "спосіб зменшити стрес.",
      .pl = "Powoli wypuść wszystko ustami z westchnieniem. Badania Stanforda pokazują, że to najszybszy "
            "sposób "
            "na zmniejszenie stresu."},
     7},
    {firstInhale,
     {.en = "Third cycle. Inhale deeply through the nose.",
      .es = "Tercer ciclo. Inhala profundamente por la nariz.",
      .de = "Dritter Zyklus. Atme tief durch die Nase ein.",
      .fr = "Troisième cycle. Inspirez profondément par le nez.",
      .uk = "Третій цикл. Глибоко вдихніть носом.",
      .pl = "Trzeci cykl. Weź głęboki wdech nosem."},
     3},
    {secondSniff,
     {.en = "Top off with a short nasal sniff.",
      .es = "Completa con una inhalación corta por la nariz.",
      .de = "Fülle mit einem kurzen Schnuppern durch die Nase auf.",
      .fr = "Complétez par un court reniflement par le nez.",
      .uk = "Доповніть коротким вдихом носом.",
      .pl = "Dopełnij krótkim wdechem nosem."},
     2},
    {{.en = "Long exhale — complete",
      .es = "Exhalar largamente — final",
      .de = "Langes Ausatmen — Abschluss",
      .fr = "Longue expiration — fin",
      .uk = "Довгий видих — завершення",
      .pl = "Długi wydech — koniec"},
     {.en = "Final long exhale. Let all tension leave with the breath. Feel your heart rate slow.",
      .es =
          "Última exhalación larga. Deja que toda la tensión se vaya con el aire. Siente cómo baja tu ritmo "
          "cardíaco.",
      .de = "Letztes langes Ausatmen. Lass alle Anspannung mit dem Atem gehen. Spüre, wie dein Herzschlag "
            "langsamer wird.",
      .fr = "Dernière longue expiration. Laissez partir toute tension avec le souffle. Sentez votre rythme "
            "cardiaque ralentir.",
      .uk = "Останній довгий видих. Нехай уся напруга піде з диханням. Відчуйте, як сповільнюється "
            "серцебиття.",
      .pl = "Ostatni długi wydech. Niech całe napięcie odejdzie z oddechem. Poczuj, jak zwalnia tętno."},
     7},
};

struct ExerciseDef {
    const char *key;
    const char *emoji;
    Tr name;
    ExerciseCategory category;
    const char *accentHex;
    const std::vector<StepDef> *steps;
};

const ExerciseDef defs[] = {
    {"eyes",
     "👁",
     {.en = "Eyes 20-20-20",
      .es = "Ojos 20-20-20",
      .de = "Augen 20-20-20",
      .fr = "Yeux 20-20-20",
      .uk = "Очі 20-20-20",
      .pl = "Oczy 20-20-20"},
     ExerciseCategory::health,
     "40E8D0",
     &eyesSteps},
    {"neck",
     "🧘",
     {.en = "Neck & Shoulders",
      .es = "Cuello y Hombros",
      .de = "Nacken & Schultern",
      .fr = "Nuque & Épaules",
      .uk = "Шия та плечі",
      .pl = "Szyja i ramiona"},
     ExerciseCategory::stretching,
     "F0A030",
     &neckSteps},
    {"wrist",
     "🤲",
     {.en = "Wrists",
      .es = "Muñecas",
      .de = "Handgelenke",
      .fr = "Poignets",
      .uk = "Зап'ястя",
      .pl = "Nadgarstki"},
     ExerciseCategory::stretching,
     "E040FB",
     &wristSteps},
    {"back",
     "🏃",
     {.en = "Back", .es = "Espalda", .de = "Rücken", .fr = "Dos", .uk = "Спина", .pl = "Plecy"},
     ExerciseCategory::stretching,
     "22C970",
     &backSteps},
    {"breath",
     "🌬",
     {.en = "4-7-8 Breathing",
      .es = "Respiración 4-7-8",
      .de = "4-7-8 Atmung",
      .fr = "Respiration 4-7-8",
      .uk = "Дихання 4-7-8",
      .pl = "Oddychanie 4-7-8"},
     ExerciseCategory::relaxation,
     "4488FF",
     &breathSteps},
    {"box",
     "🟦",
     {.en = "Box Breathing",
      .es = "Respiración cuadrada",
      .de = "Quadratische Atmung",
      .fr = "Respiration carrée",
      .uk = "Коробкове дихання",
      .pl = "Oddychanie skrzynkowe"},
     ExerciseCategory::relaxation,
     "5577FF",
     &boxSteps},
    {"belly",
     "🫁",
     {.en = "Belly Breathing",
      .es = "Respiración abdominal",
      .de = "Bauchatmung",
      .fr = "Respiration abdominale",
      .uk = "Діафрагмальне дихання",
      .pl = "Oddychanie przeponowe"},
     ExerciseCategory::relaxation,
     "33AACC",
     &bellySteps},
    {"sigh",
     "😮‍💨",
     {.en = "Cyclic Sighing",
      .es = "Suspiro cíclico",
      .de = "Zyklisches Seufzen",
      .fr = "Soupir cyclique",
      .uk = "Циклічне зітхання",
      .pl = "Cykliczne wzdychanie"},
     ExerciseCategory::relaxation,
     "AA55EE",
     &sighSteps},
};
} // namespace

namespace BuiltInExercises {
QString text(const Tr &tr, AppLang lang) { return L::t(tr, lang); }

std::vector<Exercise> make(AppLang lang) {
    std::vector<Exercise> out;
    out.reserve(std::size(defs));
    for (const ExerciseDef &d : defs) {
        Exercise e;
        e.id = QStringLiteral("builtin-") + QLatin1String(d.key);
        e.name = text(d.name, lang);
        e.emoji = QString::fromUtf8(d.emoji);
        e.category = ExerciseCategories::name(d.category, lang);
        e.isBuiltIn = true;
        e.accentHex = QLatin1String(d.accentHex);
        for (const StepDef &s : *d.steps)
            e.steps.push_back(
                {RecordJson::newId(), text(s.title, lang), text(s.instruction, lang), s.secs, {}, {}, {}});
        out.push_back(std::move(e));
    }
    return out;
}
} // namespace BuiltInExercises
