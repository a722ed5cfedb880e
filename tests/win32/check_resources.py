#!/usr/bin/env python3
"""Checks the resources of updater.exe by reading them back from the built
file: the manifest's execution level, the version resource, the icon and the
caption of the string table.

    tests/win32/check_resources.py [BUILD_DIR] [--quick]

1. The default build (BUILD_DIR, default build/win32, made with the win32
   preset): asInvoker, the project's version and description, no company or
   copyright, the project's own icon, the Japanese caption.
2. A branded build in a temporary directory, of the updater target alone,
   which links the engine libraries of the default build
   (UPDATER_ENGINE_FROM: only the resources and the links are made anew):
   requireAdministrator, Japanese texts with quotes, a backslash and a
   semicolon, other file and product versions, an icon drawn for the test
   under a path with a blank and Japanese. Then, without a new configure, a
   changed icon file and, with one, another execution level must reach the
   rebuilt program.
3. Options that do not fit must fail the configure step and name the option.
4. Signing, in the branded build: a throwaway CA and code-signing
   certificate made with openssl; the programs signed from a .pfx with a
   password file and from PEM files, verified with osslsigncode against
   that CA, their resources read back, and one scenario run under Wine
   with a signed program (WIN_BUILD, from tools/wine-env.sh, names the
   build Wine runs); a wrong password, an expired certificate, a key that
   does not match, an untrusted issuer and a time-stamp authority that does
   not answer each fail the build and leave no program. The default build
   carries no signature (checked in 1).

--quick does only 1 (and the absence of a signature there). Prints one line per check and, last,
"N passed, N failed"; the exit status is non-zero on any failure.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, '..', '..'))
sys.path.insert(0, HERE)
import pe_resources as pe  # noqa: E402

CAPTION_ID = 100
LANG_JAPANESE = 0x0411
STRING_TABLE = '041104B0'


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, what, ok, detail=''):
        if ok:
            self.passed += 1
            print('ok: ' + what)
        else:
            self.failed += 1
            print('FAIL: %s%s' % (what, ': ' + detail if detail else ''))
        return ok

    def equal(self, what, found, expected):
        return self.check(what, found == expected, difference(found, expected))


def difference(found, expected):
    """Where two values differ; of dicts, only the keys that differ."""
    if isinstance(found, dict) and isinstance(expected, dict):
        parts = []
        for key in sorted(set(found) | set(expected)):
            if found.get(key) != expected.get(key):
                parts.append('%s: %s' % (
                    key, difference(found.get(key), expected.get(key))))
        return '; '.join(parts)
    return 'expected %r, found %r' % (expected, found)


def project_defaults():
    """The version (four parts) and description that project() declares."""
    with open(os.path.join(ROOT, 'CMakeLists.txt'), encoding='utf-8') as f:
        text = f.read()
    match = re.search(r'project\(updater\s+VERSION\s+([0-9.]+)\s+'
                      r'DESCRIPTION\s+"([^"]*)"', text)
    if not match:
        raise SystemExit('check_resources: no project(updater VERSION ... '
                         'DESCRIPTION ...) in CMakeLists.txt')
    parts = [int(p) for p in match.group(1).split('.')]
    return tuple(parts + [0] * (4 - len(parts))), match.group(2)


def default_caption():
    with open(os.path.join(ROOT, 'src', 'resources', 'messages.txt'),
              encoding='utf-8') as f:
        for line in f:
            if line.startswith('%d\t' % CAPTION_ID):
                return line.rstrip('\n').split('\t', 1)[1]
    return None


def read_exe(checks, label, exe):
    try:
        with open(exe, 'rb') as f:
            return pe.read_resources(f.read())
    except (OSError, pe.FormatError) as error:
        checks.check('%s: resources readable' % label, False, str(error))
        return None


def check_manifest(checks, label, resources, level, version):
    try:
        root, found_level, ui_access = pe.parse_manifest(
            pe.find(resources, pe.RT_MANIFEST, 1) or b'')
        checks.equal('%s: manifest execution level and uiAccess' % label,
                     (found_level, ui_access), (level, 'false'))
        identity = root.find(pe.ASM_V1 + 'assemblyIdentity')
        dependency = root.find('.//%sdependentAssembly/%sassemblyIdentity'
                               % (pe.ASM_V1, pe.ASM_V1))
        checks.equal('%s: manifest identity version and processor; '
                     'Common Controls 6' % label,
                     (identity.get('version'),
                      identity.get('processorArchitecture'),
                      dependency.get('version'),
                      dependency.get('processorArchitecture')),
                     ('%d.%d.%d.%d' % version, 'x86', '6.0.0.0', 'x86'))
    except (pe.FormatError, pe.ElementTree.ParseError, AttributeError) as error:
        checks.check('%s: manifest readable' % label, False, str(error))


def check_version(checks, label, resources, version, product_version,
                  strings):
    """strings: the exact set of the version texts."""
    try:
        info = pe.parse_version(pe.find(resources, pe.RT_VERSION, 1) or b'')
        checks.equal('%s: fixed file and product version' % label,
                     (info['file_version'], info['product_version']),
                     (version, product_version))
        checks.equal('%s: version texts' % label, info['strings'],
                     {STRING_TABLE: strings})
        checks.equal('%s: translation; GUI application' % label,
                     (info['translations'], info['file_type']),
                     ([(LANG_JAPANESE, 1200)], 1))
    except pe.FormatError as error:
        checks.check('%s: version resource readable' % label, False,
                     str(error))


def check_icon(checks, label, resources, icon):
    """The group that Explorer shows is the first; its images must be the
    icon file's own, byte for byte."""
    groups = pe.names(resources, pe.RT_GROUP_ICON)
    if not checks.check('%s: an icon group' % label, bool(groups), 'none'):
        return
    try:
        with open(icon, 'rb') as f:
            expected = pe.parse_ico(f.read())
        entries = pe.parse_icon_group(
            pe.find(resources, pe.RT_GROUP_ICON, groups[0]))
        found = [(tuple(e[:6]), pe.find(resources, pe.RT_ICON, e[6]))
                 for e in entries]
        checks.check('%s: icon images equal %s' % (label, os.path.basename(icon)),
                     found == expected,
                     '%d images in the group, %d in the file'
                     % (len(found), len(expected)))
    except (OSError, pe.FormatError) as error:
        checks.check('%s: icon readable' % label, False, str(error))


def check_caption(checks, label, resources):
    checks.equal('%s: caption of the string table' % label,
                 pe.load_string(resources, CAPTION_ID, LANG_JAPANESE),
                 default_caption())


def run(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, **kwargs)


def make_icon(path, *options):
    run([sys.executable, os.path.join(ROOT, 'tools', 'make_icon.py'), path]
        + list(options), check=True)


def check_default(checks, build):
    version, description = project_defaults()
    resources = read_exe(checks, 'default', os.path.join(build, 'updater.exe'))
    if resources is not None:
        check_manifest(checks, 'default', resources, 'asInvoker', version)
        check_version(checks, 'default', resources, version, version, {
            'FileDescription': description,
            'FileVersion': '%d.%d.%d.%d' % version,
            'InternalName': 'updater',
            'OriginalFilename': 'updater.exe',
            'ProductName': 'Updater',
            'ProductVersion': '%d.%d.%d.%d' % version,
        })
        check_icon(checks, 'default', resources,
                   os.path.join(ROOT, 'src', 'resources', 'updater.ico'))
        check_caption(checks, 'default', resources)
    # The committed icon is what the drawing script makes.
    with tempfile.TemporaryDirectory() as scratch:
        drawn = os.path.join(scratch, 'drawn.ico')
        make_icon(drawn)
        with open(drawn, 'rb') as a, open(
                os.path.join(ROOT, 'src', 'resources', 'updater.ico'), 'rb') as b:
            checks.check('src/resources/updater.ico is what '
                         'tools/make_icon.py draws', a.read() == b.read())


BRANDING = {
    'UPDATER_EXECUTION_LEVEL': 'requireAdministrator',
    'UPDATER_COMPANY_NAME': '見本工業 "試験" 事業部',
    'UPDATER_PRODUCT_NAME': 'ミホン・ビューア',
    'UPDATER_FILE_DESCRIPTION': 'ミホン・ビューア 更新; "自動"',
    'UPDATER_FILE_VERSION': '2.3.4.5',
    'UPDATER_PRODUCT_VERSION': '2.03',
    'UPDATER_COPYRIGHT': '© 2024 見本工業 \\ C:\\x',
}


def branded_strings():
    return {
        'CompanyName': BRANDING['UPDATER_COMPANY_NAME'],
        'FileDescription': BRANDING['UPDATER_FILE_DESCRIPTION'],
        'FileVersion': '2.3.4.5',
        'InternalName': 'updater',
        'LegalCopyright': BRANDING['UPDATER_COPYRIGHT'],
        'OriginalFilename': 'updater.exe',
        'ProductName': BRANDING['UPDATER_PRODUCT_NAME'],
        'ProductVersion': '2.3.0.0',
    }


# The default build, whose engine libraries the branded build links.
ENGINE_FROM = []


def configure(build, options):
    command = ['cmake', '-S', ROOT, '-B', build,
               '-DCMAKE_TOOLCHAIN_FILE=' + os.path.join(
                   ROOT, 'cmake', 'mingw-w64-i686.cmake'),
               '-DCMAKE_BUILD_TYPE=Release', '-DUPDATER_TESTS=OFF',
               '-DUPDATER_ENGINE_FROM=' + ENGINE_FROM[0]]
    return run(command + ['-D%s=%s' % item for item in options.items()])


def build_updater(checks, label, build):
    result = run(['cmake', '--build', build, '--target', 'updater', '-j2'])
    return checks.check('%s: updater.exe builds' % label,
                        result.returncode == 0, result.stdout[-2000:])


def check_branded(checks, scratch):
    build = os.path.join(scratch, 'build')
    icon = os.path.join(scratch, 'icon 見本', 'ミホン.ico')
    os.makedirs(os.path.dirname(icon))
    make_icon(icon, '--sizes', '16,32,48', '--top', 'd04040',
              '--bottom', '702020', '--mark', 'ffe070')
    options = dict(BRANDING, UPDATER_ICON=icon)
    result = configure(build, options)
    if not checks.check('branded: configures', result.returncode == 0,
                        result.stdout[-2000:]):
        return None
    if not build_updater(checks, 'branded', build):
        return None
    exe = os.path.join(build, 'updater.exe')
    resources = read_exe(checks, 'branded', exe)
    if resources is not None:
        check_manifest(checks, 'branded', resources, 'requireAdministrator',
                       (2, 3, 4, 5))
        check_version(checks, 'branded', resources, (2, 3, 4, 5), (2, 3, 0, 0),
                      branded_strings())
        check_icon(checks, 'branded', resources, icon)
        check_caption(checks, 'branded', resources)

    # The icon is copied into the build tree: a change to the file must
    # still reach the program, by the build alone.
    make_icon(icon, '--sizes', '16,24', '--top', '20a040')
    if build_updater(checks, 'changed icon', build):
        resources = read_exe(checks, 'changed icon', exe)
        if resources is not None:
            check_icon(checks, 'changed icon', resources, icon)
    # Another level: the manifest is configured anew and rebuilt.
    options['UPDATER_EXECUTION_LEVEL'] = 'highestAvailable'
    result = configure(build, options)
    if (checks.check('highestAvailable: configures', result.returncode == 0,
                     result.stdout[-2000:])
            and build_updater(checks, 'highestAvailable', build)):
        resources = read_exe(checks, 'highestAvailable', exe)
        if resources is not None:
            check_manifest(checks, 'highestAvailable', resources,
                           'highestAvailable', (2, 3, 4, 5))
    return build


def check_refused(checks, build, scratch):
    """Each bad value alone, the others reset to good ones, must stop the
    configure step with a message that names its option."""
    not_an_icon = os.path.join(scratch, 'not-an-icon.ico')
    with open(not_an_icon, 'w') as f:
        f.write('text\n')
    good = {'UPDATER_EXECUTION_LEVEL': 'asInvoker', 'UPDATER_ICON': '',
            'UPDATER_FILE_VERSION': '', 'UPDATER_PRODUCT_VERSION': '',
            'UPDATER_COMPANY_NAME': '', 'UPDATER_COPYRIGHT': ''}
    cases = [
        ('UPDATER_EXECUTION_LEVEL', 'asinvoker'),
        ('UPDATER_EXECUTION_LEVEL', 'requireAdmin'),
        ('UPDATER_FILE_VERSION', '1.2.3.4.5'),
        ('UPDATER_FILE_VERSION', '1.65536'),
        ('UPDATER_PRODUCT_VERSION', '2.0-beta'),
        ('UPDATER_ICON', os.path.join(scratch, 'missing.ico')),
        ('UPDATER_ICON', not_an_icon),
        ('UPDATER_COMPANY_NAME', 'two\nlines'),
        ('UPDATER_COPYRIGHT', 'a\ttab'),
    ]
    for option, value in cases:
        result = configure(build, dict(good, **{option: value}))
        checks.check('refused: %s=%r' % (option, value),
                     result.returncode != 0 and option in result.stdout,
                     'configure exit %d' % result.returncode)
    result = configure(build, good)
    checks.check('accepted again after the refusals', result.returncode == 0,
                 result.stdout[-2000:])


# ---------------------------------------------------------------------------
# Signing (cmake/win32_signing.cmake), with a throwaway CA and code-signing
# certificate that this test makes and nobody else trusts.

SIGN_OPTIONS = ('UPDATER_SIGN_PKCS12', 'UPDATER_SIGN_PASSWORD_FILE',
                'UPDATER_SIGN_CERT', 'UPDATER_SIGN_KEY',
                'UPDATER_SIGN_TIMESTAMP_URL', 'UPDATER_SIGN_CA_FILE')
CERT_EXTENSIONS = '''[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[code]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
'''
EXPIRED_CA = '''[ca]
default_ca = test
[test]
database = index.txt
serial = serial
new_certs_dir = .
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
[code]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
'''


def signature_size(path):
    with open(path, 'rb') as f:
        return pe.certificate_table(f.read())[1]


def make_certificates(folder):
    """A CA, a code-signing certificate it issued (two days), one that
    expired in 2020, a key of neither, and a .pfx with its passwords."""
    os.makedirs(folder)
    path = {name: os.path.join(folder, name) for name in (
        'ca.key', 'ca.pem', 'code.key', 'code.csr', 'code.pem', 'expired.pem',
        'other.key', 'code.p12', 'password.txt', 'wrong.txt', 'openssl.cnf')}
    with open(path['openssl.cnf'], 'w') as f:
        f.write(CERT_EXTENSIONS)
    steps = [
        ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout',
         path['ca.key'], '-out', path['ca.pem'], '-days', '2', '-subj',
         '/CN=Updater test CA (throwaway)', '-config', path['openssl.cnf'],
         '-extensions', 'ca'],
        ['req', '-newkey', 'rsa:2048', '-nodes', '-keyout', path['code.key'],
         '-out', path['code.csr'], '-subj', '/CN=Updater test publisher',
         '-config', path['openssl.cnf']],
        ['x509', '-req', '-in', path['code.csr'], '-CA', path['ca.pem'],
         '-CAkey', path['ca.key'], '-CAcreateserial', '-out',
         path['code.pem'], '-days', '2', '-extfile', path['openssl.cnf'],
         '-extensions', 'code'],
        ['genrsa', '-out', path['other.key'], '2048'],
        ['pkcs12', '-export', '-in', path['code.pem'], '-inkey',
         path['code.key'], '-certfile', path['ca.pem'], '-out',
         path['code.p12'], '-passout', 'pass:throwaway pass'],
    ]
    for step in steps:
        result = run(['openssl'] + step, cwd=folder)
        if result.returncode != 0:
            raise RuntimeError('openssl %s: %s' % (step[0], result.stdout))
    # An expired certificate needs fixed dates: "openssl ca" gives them.
    expired = os.path.join(folder, 'expired')
    os.makedirs(expired)
    with open(os.path.join(expired, 'ca.cnf'), 'w') as f:
        f.write(EXPIRED_CA)
    open(os.path.join(expired, 'index.txt'), 'w').close()
    with open(os.path.join(expired, 'serial'), 'w') as f:
        f.write('01\n')
    result = run(['openssl', 'ca', '-batch', '-config', 'ca.cnf', '-cert',
                  path['ca.pem'], '-keyfile', path['ca.key'], '-in',
                  path['code.csr'], '-out', path['expired.pem'], '-startdate',
                  '20200101000000Z', '-enddate', '20200201000000Z',
                  '-extensions', 'code', '-notext'], cwd=expired)
    if result.returncode != 0:
        raise RuntimeError('openssl ca: ' + result.stdout)
    with open(path['password.txt'], 'w') as f:
        f.write('throwaway pass\n')
    with open(path['wrong.txt'], 'w') as f:
        f.write('not the password\n')
    return path


def check_default_unsigned(checks, build):
    for name in ('updater.exe', 'updater-check.exe'):
        exe = os.path.join(build, name)
        if os.path.isfile(exe):
            checks.equal('default: %s carries no signature' % name,
                         signature_size(exe), 0)


def verify(exe, ca):
    result = run(['osslsigncode', 'verify', '-CAfile', ca, '-in', exe])
    return (result.returncode == 0
            and 'Signature verification: ok' in result.stdout
            and re.search(r'Message digest algorithm\s*: SHA256',
                          result.stdout) is not None), result.stdout


def check_signed_run(checks, certs, signed, scratch):
    """One scenario under Wine with a signed program: the branded build's
    where Wine runs 32-bit programs, else the Wine build's own updater.exe
    signed by the same script (this machine's Wine may run 64-bit only)."""
    wine_build = os.environ.get('WIN_BUILD')
    if not wine_build:
        checks.check('signed: runs under Wine', False,
                     'WIN_BUILD is not set: source tools/wine-env.sh first')
        return
    wine_build = os.path.join(ROOT, wine_build)
    program = signed
    if os.path.basename(os.path.normpath(wine_build)) == 'win64':
        folder = os.path.join(scratch, 'signed64')
        os.makedirs(folder)
        program = os.path.join(folder, 'updater.exe')
        shutil.copy(os.path.join(wine_build, 'updater.exe'), program)
        result = run(['cmake', '-DOSSLSIGNCODE=osslsigncode',
                      '-DFILE=' + program,
                      '-DMATERIAL=-certs|%s|-key|%s' % (certs['code.pem'],
                                                        certs['code.key']),
                      '-DCA_FILE=' + certs['ca.pem'], '-P',
                      os.path.join(ROOT, 'cmake', 'sign_file.cmake')])
        if not checks.check('signed: the 64-bit program of the Wine build '
                            'signs', result.returncode == 0, result.stdout):
            return
    ok, output = verify(program, certs['ca.pem'])
    checks.check('signed: the program run under Wine verifies', ok, output)
    result = run([sys.executable, os.path.join(ROOT, 'tests',
                                               'run_scenarios.py'),
                  '--wine', '--program', program, '--helpers', wine_build,
                  '--filter', 'switches/log_japanese_folder_with_blank'])
    checks.check('signed: a scenario runs under Wine',
                 result.returncode == 0 and '1 passed, 0 failed'
                 in result.stdout, result.stdout[-2000:])


def check_signing(checks, build, scratch):
    certs = make_certificates(os.path.join(scratch, '署名 keys'))
    exe = os.path.join(build, 'updater.exe')
    checker = os.path.join(build, 'updater-check.exe')
    none = dict.fromkeys(SIGN_OPTIONS, '')

    def signed_build(options, targets=('updater',)):
        result = configure(build, dict(BRANDING, **dict(none, **options)))
        if result.returncode != 0:
            return result
        return run(['cmake', '--build', build, '-j2', '--target']
                   + list(targets))

    # A .pfx with a password file; the build that made the branded program
    # signs it without a change to any source.
    result = signed_build({
        'UPDATER_SIGN_PKCS12': certs['code.p12'],
        'UPDATER_SIGN_PASSWORD_FILE': certs['password.txt'],
        'UPDATER_SIGN_CA_FILE': certs['ca.pem']}, ('updater', 'updater-check'))
    if checks.check('signed (.pfx): builds', result.returncode == 0,
                    result.stdout[-3000:]):
        for program in (exe, checker):
            ok, output = verify(program, certs['ca.pem'])
            checks.check('signed (.pfx): %s verifies against the test CA '
                         '(SHA-256)' % os.path.basename(program), ok, output)
        result = run(['osslsigncode', 'verify', '-in', exe])
        checks.check('signed (.pfx): the test CA is what it verifies '
                     'against (not the system\'s certificates)',
                     result.returncode != 0, result.stdout[-1000:])
        resources = read_exe(checks, 'signed', exe)
        if resources is not None:
            check_manifest(checks, 'signed', resources, 'requireAdministrator',
                           (2, 3, 4, 5))
            check_version(checks, 'signed', resources, (2, 3, 4, 5),
                          (2, 3, 0, 0), branded_strings())
            check_caption(checks, 'signed', resources)

    # Each bad input fails the build and leaves no program behind.
    pem = {'UPDATER_SIGN_CERT': certs['code.pem'],
           'UPDATER_SIGN_KEY': certs['code.key'],
           'UPDATER_SIGN_CA_FILE': certs['ca.pem']}
    failing = [
        ('wrong password', {'UPDATER_SIGN_PKCS12': certs['code.p12'],
                            'UPDATER_SIGN_PASSWORD_FILE': certs['wrong.txt']},
         'the password is wrong'),
        ('expired certificate', dict(pem, UPDATER_SIGN_CERT=certs['expired.pem']),
         'the new signature does not verify (certificate has expired)'),
        ('key not matching', dict(pem, UPDATER_SIGN_KEY=certs['other.key']),
         'the key does not match the certificate'),
        ('issuer not trusted', dict(pem, UPDATER_SIGN_CA_FILE=''),
         'the new signature does not verify (unable to get local issuer '
         'certificate)'),
        # No network here: only that the address reaches osslsigncode.
        ('time-stamp authority not answering',
         dict(pem, UPDATER_SIGN_TIMESTAMP_URL='http://127.0.0.1:9/rfc3161'),
         'no time stamp could be had from http://127.0.0.1:9/rfc3161'),
    ]
    for label, options, said in failing:
        result = signed_build(options)
        # CMake wraps its messages: compared with the blanks made one.
        words = ' '.join(result.stdout.split())
        checks.check('bad signing input, %s: the build fails and says so'
                     % label, result.returncode != 0
                     and 'signing updater.exe failed: ' + said in words,
                     result.stdout[-3000:])
        checks.check('bad signing input, %s: no updater.exe is left' % label,
                     not os.path.exists(exe))

    refused = [
        ({'UPDATER_SIGN_PKCS12': certs['code.p12'],
          'UPDATER_SIGN_CERT': certs['code.pem']}, 'UPDATER_SIGN_PKCS12'),
        ({'UPDATER_SIGN_CERT': certs['code.pem']}, 'UPDATER_SIGN_KEY'),
        ({'UPDATER_SIGN_PKCS12': os.path.join(scratch, 'missing.p12')},
         'UPDATER_SIGN_PKCS12'),
        (dict(pem, UPDATER_SIGN_TIMESTAMP_URL='timestamp.example.com'),
         'UPDATER_SIGN_TIMESTAMP_URL'),
        ({'UPDATER_SIGN_PASSWORD_FILE': certs['password.txt']},
         'UPDATER_SIGN_PASSWORD_FILE'),
    ]
    for options, named in refused:
        result = configure(build, dict(BRANDING, **dict(none, **options)))
        checks.check('refused: %s' % ', '.join(
            '%s=%s' % (k, os.path.basename(v)) for k, v in options.items()),
            result.returncode != 0 and named in result.stdout,
            'configure exit %d' % result.returncode)

    # PEM certificate and key, after the failures: linked and signed anew.
    result = signed_build(pem)
    if checks.check('signed (PEM): builds again after the failures',
                    result.returncode == 0, result.stdout[-3000:]):
        ok, output = verify(exe, certs['ca.pem'])
        checks.check('signed (PEM): updater.exe verifies against the test CA',
                     ok, output)
        check_signed_run(checks, certs, exe, scratch)


def main(argv):
    args = [a for a in argv[1:] if a != '--quick']
    if len(args) > 1 or any(a.startswith('-') for a in args):
        print(__doc__, file=sys.stderr)
        return 2
    build = os.path.abspath(args[0] if args else os.path.join(ROOT, 'build',
                                                               'win32'))
    ENGINE_FROM.append(build)
    checks = Checks()
    if not os.path.isfile(os.path.join(build, 'updater.exe')):
        checks.check('default: %s/updater.exe exists' % build, False,
                     'build the win32 preset first')
    else:
        check_default(checks, build)
        check_default_unsigned(checks, build)
    if '--quick' not in argv:
        scratch = tempfile.mkdtemp(prefix='updater-resources.')
        try:
            branded = check_branded(checks, scratch)
            if branded:
                check_refused(checks, branded, scratch)
                check_signing(checks, branded, scratch)
        finally:
            shutil.rmtree(scratch, ignore_errors=True)
    print('%d passed, %d failed' % (checks.passed, checks.failed))
    return 0 if checks.failed == 0 else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv))
